// Conversion runs as the window starts, shows and stops them.
#include "WindowFixture.h"

#include "convert/HandOff.h"

#include <QThread>
#include <QTimer>

using namespace dorvane;
using namespace dorvane::testing;
using namespace Qt::StringLiterals;

namespace {

// Many slices of lines long, so that a run can be met half-way.
const QString& bigPlaylist() {
    static const QString text = playlist(100000, u"Big"_s);
    return text;
}

class WindowRunTest : public WindowTest {
protected:
    // Starts a WebTV run over the big playlist and lets its first slice of
    // lines run, so that whatever comes next meets it half-way.
    void startBigRun() {
        pastePlaylist(bigPlaylist());
        click(radio(TTargetKind::tkWebTV));
        ASSERT_NE(form->convertThread(), nullptr);
        // Serve exactly one hand-off: one slice of lines has run, and the
        // worker waits for the next.
        while (!HandOff::instance().servePending())
            QThread::yieldCurrentThread();
        ASSERT_NE(form->convertThread(), nullptr);
        ASSERT_GT(form->convertThread()->i, 0);
        ASSERT_EQ(shown(), kProgress);
    }
};

TEST_F(WindowRunTest, EachTargetShowsItsConvertedText) {
    const QString source = playlist(300);
    pastePlaylist(source);
    // Each run follows a finished one.
    for (const TargetFormat* format : allFormats()) {
        if (!format->converts())
            continue;
        const TTargetKind kind = format->kind();
        SCOPED_TRACE(format->caption().toString().toStdString());
        click(radio(kind));
        ASSERT_TRUE(waitForRunEnd());
        EXPECT_EQ(shown(), convertedText(kind, source));
    }

    click(radio(TTargetKind::tkM3U8));
    EXPECT_EQ(shown(), joined(source));
    EXPECT_EQ(form->resultList()->Count(), 0);
}

TEST_F(WindowRunTest, SwitchingTargetsMidRunShowsOnlyTheNewTarget) {
    startBigRun();
    click(radio(TTargetKind::tkPLS));
    EXPECT_EQ(shown(), kProgress);
    ASSERT_NE(form->convertThread(), nullptr);
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(shown(), convertedText(TTargetKind::tkPLS, bigPlaylist()));
}

// Between slices of lines the event loop runs: the window answers while a big
// playlist converts.
TEST_F(WindowRunTest, WindowAnswersDuringARun) {
    startBigRun();
    int turns = 0;
    std::function<void()> turn = [&] {
        ++turns;
        if (form->convertThread())
            QTimer::singleShot(0, form.get(), turn);
    };
    QTimer::singleShot(0, form.get(), turn);
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_GE(turns, 3);
    EXPECT_EQ(shown(), convertedText(TTargetKind::tkWebTV, bigPlaylist()));
}

TEST_F(WindowRunTest, M3UAndM3U8StopTheRunAndShowTheSource) {
    for (int number : {1, 8}) {
        SCOPED_TRACE(number);
        newWindow();
        startBigRun();
        click(radio(number));
        EXPECT_EQ(form->convertThread(), nullptr);
        EXPECT_EQ(form->resultList()->Count(), 0);
        EXPECT_EQ(shown(), joined(bigPlaylist()));
        QTest::qWait(30);
        EXPECT_EQ(shown(), joined(bigPlaylist()));
    }
}

TEST_F(WindowRunTest, OpeningDuringARunStopsItFirst) {
    startBigRun();
    openFile(writeFile(u"small.m3u"_s, playlist(3, u"Small"_s).toUtf8()));
    EXPECT_EQ(form->convertThread(), nullptr);
    EXPECT_EQ(form->resultList()->Count(), 0);
    EXPECT_EQ(shown(), joined(playlist(3, u"Small"_s)));
    EXPECT_TRUE(radio(TTargetKind::tkWebTV)->isChecked());
    QTest::qWait(50);
    EXPECT_EQ(shown(), joined(playlist(3, u"Small"_s)));

    // A cancelled dialog leaves a run alone.
    click(radio(TTargetKind::tkOpenBox));
    ASSERT_TRUE(waitForRunEnd());
    click(radio(TTargetKind::tkWebTV));
    openFile(QString());
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(shown(), convertedText(TTargetKind::tkWebTV, playlist(3, u"Small"_s)));
}

// Every way of closing stops the run before the lists go, without hanging,
// and releases them once.
TEST_F(WindowRunTest, ClosingDuringARunStopsIt) {
    const struct {
        const char* how;
        std::function<void()> close;
    } ways[] = {
        {"close()", [this] { form->close(); }},
        {"Exit", [this] { item("D1")->trigger(); }},
        {"Alt+F4", [this] { QTest::keyClick(memo(), Qt::Key_F4, Qt::AltModifier); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        newWindow();
        startBigRun();
        way.close();
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(form->convertThread(), nullptr);
        EXPECT_EQ(form->sourceList(), nullptr);
        EXPECT_EQ(form->resultList(), nullptr);
        form->close();
        QTest::qWait(20); // nothing of the run may arrive any more
    }
}

} // namespace
