// The application's error box: its text, its caption, and the guard every
// handler is entered through.
#include "QtPrinters.h"
#include "app/Guard.h"
#include "app/MessageBox.h"
#include "playlist/Errors.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

using namespace dorvane;
using namespace Qt::StringLiterals;

namespace {

TEST(ErrorBox, FullStopAfterACharacterAboveIt) {
    const struct {
        QString message;
        QString shown;
    } cases[] = {
        {u"Stream write error"_s, u"Stream write error."_s},
        {u"Done."_s, u"Done."_s},
        {u"Why?"_s, u"Why?."_s},    // "?" lies above "." and gets one
        {u"Fails!"_s, u"Fails!"_s}, // "!" lies below it
        {u"a-"_s, u"a-"_s},
        {u"path/"_s, u"path/."_s},
        {u"(x)"_s, u"(x)"_s},
        {u"Ошибка"_s, u"Ошибка."_s},
        {QString(), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorBoxText(c.message), c.shown) << c.message.toStdString();
}

TEST(ErrorBox, CaptionIsTheProgramFileName) {
    const struct {
        QString path;
        QString title;
    } cases[] = {
        {u"/usr/bin/dorvane"_s, u"dorvane"_s},
        {u"C:/Program Files/Dorvane/DORVANE.EXE"_s, u"Dorvane"_s},
        {u"/opt/x/My.Tool.bin"_s, u"My"_s},
        {u"/opt/x/tEST_Window"_s, u"test_window"_s},
        {u"/opt/x/.hidden"_s, QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(applicationTitleOf(c.path), c.title) << c.path.toStdString();
    EXPECT_EQ(applicationTitle(), applicationTitleOf(QCoreApplication::applicationFilePath()));
}

TEST(ErrorBox, GuardShowsWhatAHandlerRaisesAndCarriesOn) {
    MessageBox::setHeadless(true);
    MessageBox::clearShown();
    guarded([] { throw EFOpenError(u"Cannot open file \"x\". Permission denied"_s); });
    guarded([] { throw std::runtime_error("plain failure"); });
    guarded([] { throw std::bad_alloc(); });
    bool ran = false;
    guarded([&] { ran = true; });

    EXPECT_TRUE(ran);
    ASSERT_EQ(MessageBox::shown().size(), 3);
    EXPECT_EQ(MessageBox::shown()[0].text, u"Cannot open file \"x\". Permission denied."_s);
    EXPECT_EQ(MessageBox::shown()[1].text, u"plain failure."_s);
    EXPECT_EQ(MessageBox::shown()[2].text, u"Out of memory."_s);
    for (const MessageBox::Shown& box : MessageBox::shown()) {
        EXPECT_EQ(box.caption, applicationTitle());
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

} // namespace
