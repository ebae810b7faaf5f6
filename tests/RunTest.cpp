// The conversion worker and its hand-offs, without a window.
#include "convert/Run.h"
#include "QtPrinters.h"
#include "convert/HandOff.h"
#include "convert/LineSink.h"
#include "convert/TargetFormat.h"
#include "convert/ThreadKonvert.h"
#include "playlist/Errors.h"
#include "playlist/StringList.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace dorvane;

namespace {

QString playlist(int channels) {
    QString text = QStringLiteral("#EXTM3U\r\n");
    for (int k = 0; k < channels; ++k)
        text += QStringLiteral("#EXTINF:-1,Channel %1\r\nhttp://example.net/%1\r\n").arg(k);
    return text;
}

QString convertDirectly(const TargetFormat& format, const TStringList& source) {
    TStringList result;
    StringListSink sink(result);
    convertLines(format, source, sink);
    return result.Text();
}

template <typename Done> void serveEventsUntil(Done done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

} // namespace

TEST(ConversionRun, EndsWithTheConvertedTextOnTheMainThread) {
    TStringList source, result;
    source.setText(playlist(3000));
    const TargetFormat& pls = formatFor(TTargetKind::tkPLS);

    QString shown;
    int endSteps = 0;
    QThread* endThread = nullptr;
    auto worker = std::make_unique<TThreadKonvert>(pls, source, result, [&](TThreadKonvert&) {
        shown = result.Text();
        endThread = QThread::currentThread();
        ++endSteps;
    });
    serveEventsUntil([&] { return endSteps > 0; });
    worker->WaitFor();

    EXPECT_EQ(endSteps, 1);
    EXPECT_EQ(endThread, QCoreApplication::instance()->thread());
    EXPECT_EQ(shown, convertDirectly(pls, source));
    EXPECT_EQ(worker->count, 3000);
    EXPECT_FALSE(worker->fatalException());
}

TEST(ConversionRun, StoppedRunEndsWithItsFooterAndWithoutHanging) {
    TStringList source, result;
    source.setText(playlist(500000));
    bool ended = false;
    auto worker = std::make_unique<TThreadKonvert>(formatFor(TTargetKind::tkPLS), source, result,
                                                   [&](TThreadKonvert&) { ended = true; });
    // Let a few slices run so that the stop meets a worker in the middle.
    serveEventsUntil([&] { return worker->i > 0; });
    worker->Terminate();
    worker->WaitFor();

    EXPECT_TRUE(ended) << "a stopped run still performs its end-of-run step";
    EXPECT_LT(worker->count, 500000);
    ASSERT_GT(result.Count(), 4);
    EXPECT_EQ(result.Strings(result.Count() - 2), QStringLiteral("Version=2"));
}

TEST(ConversionRun, DestroyingARunningWorkerWaitsWhileServingItsHandOffs) {
    TStringList source, result;
    source.setText(playlist(500000));
    auto worker =
        std::make_unique<TThreadKonvert>(formatFor(TTargetKind::tkWebTV), source, result, nullptr);
    worker.reset(); // must neither deadlock nor leave the thread running
    SUCCEED();
}

TEST(ConversionRun, ASourceCutShortUnderTheRunEndsItWithAnError) {
    TStringList source, result;
    source.setText(playlist(500000));
    bool ended = false;
    auto worker = std::make_unique<TThreadKonvert>(formatFor(TTargetKind::tkAzBox), source, result,
                                                   [&](TThreadKonvert&) { ended = true; });
    serveEventsUntil([&] { return worker->i > 0; });
    source.Clear();
    worker->WaitFor();

    EXPECT_FALSE(ended) << "a failed run has no end-of-run step";
    ASSERT_TRUE(worker->fatalException());
    EXPECT_THROW(std::rethrow_exception(worker->fatalException()), EStringListError);
}

TEST(HandOff, StepErrorsComeBackToTheWorker) {
    struct Thrower : QThread {
        std::atomic<bool> caught{false};
        void run() override {
            try {
                HandOff::instance().synchronize([] { throw EThread("boom"); });
            } catch (const EThread&) {
                caught = true;
            }
        }
    } thrower;
    HandOff::instance();
    thrower.start();
    serveEventsUntil([&] { return thrower.isFinished(); });
    thrower.wait();
    EXPECT_TRUE(thrower.caught);
}
