// Files that go wrong: each must end in a clear message or a sensible
// playlist, never in lost data or a crash.
#include "QtPrinters.h"
#include "TestFiles.h"
#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace dorvane;

namespace {

class FileFaults : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) { writeTestFile(path(name), bytes); }
    // The list a failed load must leave alone.
    static TStringList loadedList() {
        TStringList list;
        list.setText(QStringLiteral("#EXTINF:-1,Kept\r\nhttp://kept\r\n"));
        return list;
    }
    static QString openError(const TStringList& list, const QString& fileName) {
        try {
            const_cast<TStringList&>(list).LoadFromFile(fileName, TEncoding::UTF8());
        } catch (const EFOpenError& e) {
            return e.Message();
        }
        return QStringLiteral("(no error)");
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(FileFaults, UnreadableFilesGiveTheCauseAndKeepTheLoadedLines) {
    QDir().mkdir(path("folder"));
    struct Case {
        const char* name;
        const char* cause;
    } cases[] = {{"missing.m3u", "No such file or directory"},
                 {"folder", "Is a directory"},
                 {"folder/../missing/x.m3u", "No such file or directory"}};
    for (const Case& c : cases) {
        TStringList list = loadedList();
        const QString fileName = path(QString::fromUtf8(c.name));
        EXPECT_EQ(openError(list, fileName),
                  QStringLiteral("Cannot open file \"%1\". %2")
                      .arg(QDir::cleanPath(fileName), QString::fromUtf8(c.cause)))
            << c.name;
        EXPECT_EQ(list.Count(), 2) << c.name;
    }
}

TEST_F(FileFaults, FileWithoutReadPermission) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    write("locked.m3u", "#EXTINF:-1,A\r\nhttp://a\r\n");
    QFile::setPermissions(path("locked.m3u"), QFileDevice::WriteOwner);
    TStringList list = loadedList();
    EXPECT_TRUE(openError(list, path("locked.m3u")).endsWith(u"Permission denied"));
    EXPECT_EQ(list.Count(), 2);
}

TEST_F(FileFaults, AHugeFileIsRefusedBeforeItIsRead) {
    // 2 GB that take no room on disk: the refusal must come from the size,
    // before any of it is read.
    QFile file(path("huge.m3u"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(2) << 30));
    file.close();
    TStringList list = loadedList();
    EXPECT_TRUE(openError(list, path("huge.m3u")).endsWith(u"File too large"))
        << openError(list, path("huge.m3u")).toStdString();
    EXPECT_EQ(list.Count(), 2);
}

TEST_F(FileFaults, ContentThatIsNoPlaylistGivesNoChannels) {
    QByteArray png =
        QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489");
    png += QByteArray(300, '\xff');
    struct Case {
        const char* name;
        QByteArray bytes;
        int lines;
    } cases[] = {{"nul.m3u", QByteArray(4096, '\0'), 0},
                 {"picture.png", png, -1},
                 {"empty.m3u", QByteArray(), 0}};
    for (const Case& c : cases) {
        write(QString::fromUtf8(c.name), c.bytes);
        TStringList list;
        list.LoadFromFile(path(QString::fromUtf8(c.name)), TEncoding::UTF8());
        if (c.lines >= 0) {
            EXPECT_EQ(list.Count(), c.lines) << c.name;
        }
        EXPECT_EQ(channelCount(list), 0) << c.name;
    }
}

TEST_F(FileFaults, AFiftyMegabyteLineIsOneAddress) {
    QByteArray bytes = "#EXTINF:-1,Long\r\nhttp://x/?q=";
    bytes += QByteArray(50 << 20, 'a');
    bytes += "\r\n";
    write("long.m3u", bytes);
    TStringList list;
    list.LoadFromFile(path("long.m3u"), TEncoding::UTF8());
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.line(1).size(), (50 << 20) + 12);
    EXPECT_EQ(channelCount(list), 1);
}

TEST_F(FileFaults, SavingWhereNoFileCanBeCreatedKeepsTheFormerFile) {
    write("keep.m3u", "former");
    QDir().mkdir(path("folder"));
    struct Case {
        QString target;
        const char* cause;
    } cases[] = {{path("missing/out.m3u"), "No such file or directory"},
                 {path("keep.m3u/out.m3u"), "Not a directory"},
                 {path("folder"), "Is a directory"}};
    for (const Case& c : cases) {
        try {
            saveTextToFile(c.target, u"text", TEncoding::UTF8());
            ADD_FAILURE() << "no error for " << c.target.toStdString();
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Cannot create file \"%1\". %2")
                                       .arg(QDir::cleanPath(c.target), QString::fromUtf8(c.cause)));
        }
    }
    QFile kept(path("keep.m3u"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("former"));
}

TEST_F(FileFaults, AReadOnlyFileIsNotReplaced) {
    write("readonly.m3u", "former");
    QFile::setPermissions(path("readonly.m3u"), QFileDevice::ReadOwner | QFileDevice::ReadUser);
    EXPECT_THROW(saveTextToFile(path("readonly.m3u"), u"new", TEncoding::UTF8()), EFCreateError);
    QFile kept(path("readonly.m3u"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("former"));
}
