// The skin manager: finding the skin in its folder, loading it from the folder
// or the packed file, and staying silent or reporting once when it cannot.
#include "app/SkinManager.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>

#include <gtest/gtest.h>

#include "QtPrinters.h"

namespace dorvane {
namespace {

const QString kShippedSkin = QStringLiteral(DORVANE_SHIPPED_SKIN);
const QString kPackedSkin = QStringLiteral(DORVANE_PACKED_SKIN);

// A window with a few controls and a manager looking in a folder of its own.
struct SkinSetup {
    SkinSetup() {
        manager.setSkinDirectory(folder.path());
        window.resize(200, 100);
        edit = new QPlainTextEdit(&window);
        edit->setGeometry(100, 0, 100, 100);
        button = new QPushButton(QStringLiteral("Save"), &window);
        button->setGeometry(0, 80, 40, 20);
        statusPicture = new QLabel(&window);
        statusPicture->setProperty(kSkinSectionProperty, QStringLiteral("STATUSBAR"));
    }

    QString path(const QString& relative) const { return folder.filePath(relative); }

    void write(const QString& relative, const QByteArray& bytes) {
        writeTestFile(path(relative), bytes);
    }

    void installShippedFolder(const QString& as = QStringLiteral("UIX")) {
        QDir().mkpath(path(as));
        const QDir shipped(kShippedSkin);
        for (const QString& name : shipped.entryList(QDir::Files)) {
            ASSERT_TRUE(QFile::copy(shipped.filePath(name), path(as + u'/' + name)));
        }
    }

    void installShippedPacked(const QString& as = QStringLiteral("UIX.asz")) {
        ASSERT_TRUE(QFile::copy(kPackedSkin, path(as)));
    }

    // Every picture the loaded style sheet names can be drawn from where the
    // sheet now says it is.
    void expectPicturesResolved() {
        static const QRegularExpression url(QStringLiteral(R"re(url\("([^"]+)"\))re"));
        int pictures = 0;
        for (auto it = url.globalMatch(window.styleSheet()); it.hasNext(); ++pictures) {
            const QString picture = it.next().captured(1);
            EXPECT_FALSE(QImage(picture).isNull()) << picture.toStdString();
        }
        EXPECT_GT(pictures, 0);
    }

    void expectUntouched() {
        EXPECT_FALSE(manager.active());
        EXPECT_TRUE(window.styleSheet().isEmpty());
        EXPECT_FALSE(window.property(kSkinSectionProperty).isValid());
        EXPECT_FALSE(button->property(kSkinSectionProperty).isValid());
    }

    QTemporaryDir folder;
    TsSkinManager manager;
    QWidget window;
    QPlainTextEdit* edit;
    QPushButton* button;
    QLabel* statusPicture;
};

TEST(Skin, ShippedSkinLoadsFromItsFolder) {
    SkinSetup t;
    t.installShippedFolder();
    ASSERT_EQ(t.manager.load(&t.window), TsSkinManager::Result::Loaded)
        << t.manager.errorMessage().toStdString();
    EXPECT_TRUE(t.manager.active());
    EXPECT_TRUE(t.manager.errorMessage().isEmpty());
    EXPECT_EQ(t.manager.loadedFrom(), t.path(QStringLiteral("UIX")));
    t.expectPicturesResolved();
    EXPECT_TRUE(t.window.styleSheet().contains(t.path(QStringLiteral("UIX/button.png"))));

    // Controls naming no section get the standard one of their kind; a
    // section the window chose stays.
    EXPECT_EQ(t.window.property(kSkinSectionProperty).toString(), QStringLiteral("FORM"));
    EXPECT_EQ(t.edit->property(kSkinSectionProperty).toString(), QStringLiteral("EDIT"));
    EXPECT_EQ(t.button->property(kSkinSectionProperty).toString(), QStringLiteral("BUTTON"));
    EXPECT_EQ(t.statusPicture->property(kSkinSectionProperty).toString(),
              QStringLiteral("STATUSBAR"));
}

TEST(Skin, ShippedSkinLoadsPacked) {
    SkinSetup t;
    t.installShippedPacked();
    ASSERT_EQ(t.manager.load(&t.window), TsSkinManager::Result::Loaded)
        << t.manager.errorMessage().toStdString();
    EXPECT_EQ(t.manager.loadedFrom(), t.path(QStringLiteral("UIX.asz")));
    EXPECT_TRUE(t.window.styleSheet().contains(QStringLiteral("url(\":/")));
    t.expectPicturesResolved();
}

TEST(Skin, PackedSkinWinsOverTheFolder) {
    SkinSetup t;
    // The folder form is broken, so loading can only succeed from the file.
    t.write(QStringLiteral("UIX/Options.dat"), "[SkinSection=\"EDIT\"] {");
    t.installShippedPacked();
    ASSERT_EQ(t.manager.load(&t.window), TsSkinManager::Result::Loaded)
        << t.manager.errorMessage().toStdString();
    EXPECT_EQ(t.manager.loadedFrom(), t.path(QStringLiteral("UIX.asz")));
}

// Also with a byte-order mark in front, as some editors write one.
TEST(Skin, SkinIsDrawnWithItsSectionsAndPictures) {
    SkinSetup t;
    QImage tile(8, 8, QImage::Format_RGB32);
    tile.fill(QColor(200, 40, 90));
    QDir().mkpath(t.path(QStringLiteral("UIX/pictures")));
    ASSERT_TRUE(tile.save(t.path(QStringLiteral("UIX/pictures/tile.png"))));
    t.write(QStringLiteral("UIX/Options.dat"),
            "\xef\xbb\xbf/* url(ignored.png) in a comment names nothing */\n"
            "[SkinSection=\"FORM\"] { background-image: url(pictures/tile.png); }\n"
            "[SkinSection=\"EDIT\"] { background-color: rgb(10, 200, 30); border: none; }\n");
    ASSERT_EQ(t.manager.load(&t.window), TsSkinManager::Result::Loaded)
        << t.manager.errorMessage().toStdString();

    const QImage shown = t.window.grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(50, 40)), QColor(200, 40, 90)) << "the window's face";
    EXPECT_EQ(QColor(shown.pixel(150, 50)), QColor(10, 200, 30)) << "the text area";
}

TEST(Skin, NoSkinSwitchesTheManagerOffSilently) {
    const std::pair<const char*, std::function<void(SkinSetup&)>> cases[] = {
        {"no skin folder",
         [](SkinSetup& t) { t.manager.setSkinDirectory(t.path(QStringLiteral("nowhere"))); }},
        {"empty skin folder", [](SkinSetup&) {}},
        {"other skins only",
         [](SkinSetup& t) {
             t.installShippedFolder(QStringLiteral("Other"));
             t.installShippedPacked(QStringLiteral("Other.asz"));
         }},
        {"skin folder without Options.dat",
         [](SkinSetup& t) { t.write(QStringLiteral("UIX/button.png"), QByteArray()); }},
    };
    for (const auto& [name, setUp] : cases) {
        SCOPED_TRACE(name);
        SkinSetup t;
        setUp(t);
        EXPECT_EQ(t.manager.load(&t.window), TsSkinManager::Result::Missing);
        EXPECT_TRUE(t.manager.errorMessage().isEmpty());
        t.expectUntouched();
    }
}

TEST(Skin, BrokenSkinIsReportedAndLeavesTheWindowAlone) {
    struct Case {
        const char* name;
        QString file;
        QByteArray content;
        QString reason;
    };
    const QString options = QStringLiteral("UIX/Options.dat");
    const Case cases[] = {
        {"packed file of another kind", QStringLiteral("UIX.asz"), "PK\x03\x04 not a resource",
         QStringLiteral("The file is not a packed skin")},
        {"brace left open", options,
         "[SkinSection=\"FORM\"] { color: red; }\n[SkinSection=\"EDIT\"] {\n color: red;\n",
         QStringLiteral("Options.dat is not a style sheet (line 2)")},
        {"brace never opened", options, "[SkinSection=\"FORM\"] { color: red; } }",
         QStringLiteral("Options.dat is not a style sheet (line 1)")},
        {"comment left open", options, "[SkinSection=\"FORM\"] { color: red; }\n/* no end",
         QStringLiteral("Options.dat is not a style sheet (line 2)")},
        {"no rule at all", options, "/* nothing */\n",
         QStringLiteral("Options.dat holds no skin section")},
        {"not UTF-8", options, "[SkinSection=\"FORM\"] { font-family: \"Ver\xe4\"; }",
         QStringLiteral("Options.dat is not UTF-8 text")},
        {"picture missing", options,
         "[SkinSection=\"FORM\"] { background-image: url('face.png'); }",
         QStringLiteral("The picture \"face.png\" is missing")},
        {"picture not a picture", options,
         "[SkinSection=\"FORM\"] { background-image: url(Options.dat); }",
         QStringLiteral("The picture \"Options.dat\" cannot be read")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SkinSetup t;
        t.write(c.file, c.content);
        EXPECT_EQ(t.manager.load(&t.window), TsSkinManager::Result::Broken);
        const QString source =
            c.file.endsWith(QStringLiteral(".asz")) ? c.file : QStringLiteral("UIX");
        EXPECT_EQ(t.manager.errorMessage(),
                  QStringLiteral("Cannot load skin \"%1\". %2")
                      .arg(QDir::toNativeSeparators(t.path(source)), c.reason));
        t.expectUntouched();
    }
}

#ifndef Q_OS_WIN
TEST(SkinFolder, IsSkinsInTheProgramsDataFolder) {
    QTemporaryDir data;
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    const QString savedName = QCoreApplication::applicationName();
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QCoreApplication::setApplicationName(QStringLiteral("dorvane"));

    const QString folder = TsSkinManager().skinDirectory();

    QCoreApplication::setApplicationName(savedName);
    qputenv("XDG_DATA_HOME", savedData);
    EXPECT_EQ(folder, data.path() + QStringLiteral("/dorvane/Skins"));
}
#endif

} // namespace
} // namespace dorvane
