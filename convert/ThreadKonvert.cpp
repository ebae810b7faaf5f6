#include "convert/ThreadKonvert.h"

#include "convert/HandOff.h"
#include "convert/LineSink.h"
#include "playlist/Errors.h"
#include "playlist/StringList.h"

#include <QElapsedTimer>

#include <cstring>

namespace dorvane {

TThreadKonvert::TThreadKonvert(const TargetFormat& target, const TStringList& source,
                               TStringList& result, EndOfRun endOfRun, SourceName sourceName)
    : Conversion(target, std::move(sourceName)), m_source(source), m_result(result),
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

void TThreadKonvert::Execute() {
    StringListSink sink(m_result);
    header(sink);

    // The number of steps is fixed here; lines added later are not converted.
    const int lineCount = m_lineCount;
    int next = 0;
    while (next < lineCount) {
        if (Terminated())
            break;
        // One hand-off converts as many lines as fit in the time budget, so a
        // big playlist needs thousands of round trips, not millions.
        HandOff::instance().synchronize([&] {
            QElapsedTimer clock;
            clock.start();
            do {
                i = next;
                ProcessLine();
                ++next;
            } while (
                next < lineCount &&
                ((next & 63) != 0 || clock.nsecsElapsed() < kSliceBudgetMicroseconds * 1000LL));
        });
    }

    footer(sink);
    HandOff::instance().synchronize([this] {
        if (m_endOfRun)
            m_endOfRun(*this);
    });
}

void TThreadKonvert::ProcessLine() {
    StringListSink sink(m_result);
    processLine(m_source.line(i), sink);
}

} // namespace dorvane
