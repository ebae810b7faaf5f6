// The save flow without a window: the dialogs are a script, and the text is
// what a run would show at the moment it is asked for.
#include "convert/TargetFormat.h"
#include "output/Output.h"

#include "QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace dorvane;

namespace {

struct ScriptedDialogs final : SaveDialogs {
    QString chosen;     // empty: the save dialog is cancelled
    bool agrees = true; // the answer to a question
    QString shownText = QStringLiteral("Обработка данных ...");
    QString textAfterDialog; // what the text area holds once the dialog has closed

    QString proposed, filter;
    QStringList questions;

    bool chooseFileName(const QString& name, const QString& offered, QString& out) override {
        proposed = name;
        filter = offered;
        if (chosen.isEmpty())
            return false;
        out = chosen;
        shownText = textAfterDialog; // a run ended while the dialog was open
        return true;
    }
    bool confirm(const QString& question) override {
        questions << question;
        return agrees;
    }
    QString text() override { return shownText; }
    bool utf8Ticked() override { return true; }
};

QByteArray bytesOf(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

TEST(SaveFlow, WritesWhatTheTextAreaHoldsOnceTheDialogHasClosed) {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    dialogs.chosen = dir.filePath(QStringLiteral("list"));
    dialogs.textAfterDialog = QStringLiteral("[playlist]\r\n");
    saveWithDialogs(formatFor(TTargetKind::tkPLS), dialogs);
    EXPECT_EQ(dialogs.proposed, u"playlist.pls"); // with the target's own extension
    EXPECT_EQ(dialogs.filter, u"Плейлист (*.pls)|*.pls");
    EXPECT_TRUE(dialogs.questions.isEmpty()) << "no file was there";
    EXPECT_EQ(bytesOf(dir.filePath(QStringLiteral("list.pls"))), "\xEF\xBB\xBF[playlist]\r\n");
}

TEST(SaveFlow, AsksBeforeReplacingAndWritesNothingWhenDeclined) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("iptv.txt"));
    QFile former(file);
    ASSERT_TRUE(former.open(QIODevice::WriteOnly));
    former.write("former");
    former.close();

    ScriptedDialogs dialogs;
    dialogs.chosen = file; // ends with the extension already: not appended again
    dialogs.agrees = false;
    saveWithDialogs(formatFor(TTargetKind::tkWizardHD), dialogs);
    EXPECT_EQ(dialogs.questions, QStringList{u"Файл «%1» уже существует. Заменить?"_qs.arg(file)});
    EXPECT_EQ(bytesOf(file), "former");

    dialogs.chosen.clear(); // cancelled: not even a question
    dialogs.questions.clear();
    saveWithDialogs(formatFor(TTargetKind::tkWizardHD), dialogs);
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(bytesOf(file), "former");
}

} // namespace
