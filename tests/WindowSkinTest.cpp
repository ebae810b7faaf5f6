// The window's skin: looked for in the program's data folder before the window
// is first shown, silently done without when absent, reported once when broken.
#include "QtPrinters.h"
#include "app/Form8.h"
#include "app/MessageBox.h"
#include "app/SkinManager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPalette>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace dorvane;

namespace {

class WindowSkin : public ::testing::Test {
protected:
    void SetUp() override {
        // The skin folder is <data home>/dorvane/Skins for the program "dorvane".
        QCoreApplication::setApplicationName(QStringLiteral("dorvane"));
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        skins = home.filePath(QStringLiteral("dorvane/Skins"));
        MessageBox::setHeadless(true);
        MessageBox::clearShown();
    }

    void installShippedSkin() {
        const QDir source(QStringLiteral(DORVANE_SHIPPED_SKIN));
        QDir().mkpath(skins + QStringLiteral("/UIX"));
        for (const QString& name : source.entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(source.filePath(name), skins + QStringLiteral("/UIX/") + name));
    }

    static TsSkinManager* manager(TForm8& form) {
        return form.findChild<TsSkinManager*>(QStringLiteral("sSkinManager1"));
    }

    QTemporaryDir home;
    QString skins;
};

} // namespace

TEST_F(WindowSkin, AnInstalledSkinIsInForceBeforeTheWindowIsShown) {
    installShippedSkin();
    TForm8 form;
    ASSERT_NE(manager(form), nullptr);
    EXPECT_TRUE(manager(form)->active());
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.styleSheet().isEmpty());
    EXPECT_EQ(manager(form)->skinName(), QStringLiteral("UIX"));
}

TEST_F(WindowSkin, WithoutASkinTheWindowHasItsOwnColoursAndSaysNothing) {
    TForm8 form;
    QCoreApplication::processEvents();
    EXPECT_FALSE(manager(form)->active());
    EXPECT_TRUE(form.styleSheet().isEmpty());
    EXPECT_EQ(form.centralWidget()->palette().color(QPalette::Window), QColor(166, 202, 240));
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(WindowSkin, ABrokenSkinIsReportedOnceAndTheWindowGoesOnUnskinned) {
    QDir().mkpath(skins);
    QFile packed(skins + QStringLiteral("/UIX.asz"));
    ASSERT_TRUE(packed.open(QIODevice::WriteOnly));
    packed.write("not a packed skin");
    packed.close();

    TForm8 form;
    form.show();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(manager(form)->active());
    EXPECT_TRUE(form.styleSheet().isEmpty());
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown().front().text.contains(u"UIX"));
}
