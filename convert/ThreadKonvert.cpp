#include "convert/ThreadKonvert.h"

#include "convert/HandOff.h"
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "playlist/Errors.h"
#include "playlist/StringList.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstring>

namespace dorvane {

TThreadKonvert::TThreadKonvert(const TargetFormat& target, const TStringList& source,
                               TStringList& result, EndOfRun endOfRun, SourceName sourceName,
                               TargetOptions options)
    : Conversion(target, std::move(sourceName)), m_options(std::move(options)), m_source(source),
      m_result(result),
      // The number of steps is fixed when the run starts, and read here, on
      // the thread that owns the list, so that no later change races with it.
      m_lineCount(source.Count()), m_endOfRun(std::move(endOfRun)) {
    HandOff::instance(); // made on the main thread before any worker needs it
    start();
    // QThread reports a failed pthread_create only as a warning and leaves the
    // thread neither running nor finished.
    if (!isRunning() && !isFinished() && !m_ended.load())
        throw EThread(QStringLiteral("Thread creation error: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(EAGAIN))));
}

TThreadKonvert::~TThreadKonvert() {
    Terminate();
    WaitFor();
}

void TThreadKonvert::WaitFor() {
    HandOff::instance().waitUntil([this] { return m_ended.load(); });
    wait();
}

void TThreadKonvert::run() {
    try {
        Execute();
    } catch (...) {
        m_fatal = std::current_exception();
    }
    m_ended.store(true);
    HandOff::instance().notify();
}

// The run's lines, a slice per hand-off: one hand-off converts as many lines
// as fit in the time budget, so a big playlist needs thousands of round trips,
// not millions.
struct TThreadKonvert::Slices {
    TThreadKonvert& run;
    int line = 0;               // the next line to convert
    qsizetype lastAppended = 0; // the result's characters before the last slice

    template <typename Write> bool next(Write& write) {
        // The number of steps is fixed at the start; lines added later
        // are not converted.
        if (line >= run.m_lineCount || run.terminated())
            return false;
        // The result grows here, on the worker, while the main thread is free
        // to take events: moved on the main thread, a result of 50 MB held it
        // for 80 ms, page faults mostly. Room for twice what the last slice
        // wrote, so that a small playlist is not given megabytes.
        const qsizetype appended = run.m_result.textAppended();
        run.m_result.reserveText(std::min(kSliceRoom, 2 * (appended - lastAppended) + 65536));
        lastAppended = appended;
        HandOff::instance().synchronize([&] {
            QElapsedTimer clock;
            clock.start();
            do {
                run.i = line;
                run.ProcessLine(write);
                ++line;
            } while (
                line < run.m_lineCount &&
                ((line & 63) != 0 || clock.nsecsElapsed() < kSliceBudgetMicroseconds * 1000LL));
        });
        return true;
    }
    // The window counts the channels when it takes the playlist.
    int channels() const { return 0; }
};

void TThreadKonvert::Execute() {
    // The header and footer are written here, on the worker.
    Slices slices{*this};

    StringListSink sink(m_result);
    sink.options = m_options;
    // Read on the main thread after the hand-off below.
    m_refused = runConversion(target(), slices, sink, sourceName(), count).refused;
    m_lost = sink.lost;
    HandOff::instance().synchronize([this] {
        if (m_endOfRun)
            m_endOfRun(*this);
    });
}

} // namespace dorvane
