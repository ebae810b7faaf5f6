#pragma once

#include "convert/Conversion.h"
#include "convert/TargetOptions.h"
#include "playlist/StringList.h"

#include <QThread>

#include <atomic>
#include <exception>
#include <functional>

namespace dorvane {

class TargetFormat;

// One conversion run (runConversion) on a thread of its own. The worker
// writes the header and footer lines itself; every per-line step and the
// end-of-run step run on the main thread by hand-off while the worker waits.
// The run's target is fixed here, at creation; the worker never touches a
// window control.
//
// The worker starts at once. Destroying it (on the main thread) asks it to stop
// and waits for its end while serving its hand-offs.
class TThreadKonvert : public QThread, public Conversion {
public:
    // Runs on the main thread after the footer step, with the worker.
    using EndOfRun = std::function<void(TThreadKonvert&)>;

    // EThread "Thread creation error: %s" when the thread cannot be started.
    // `sourceName` names the playlist for targets whose header does.
    TThreadKonvert(const TargetFormat& target, const TStringList& source, TStringList& result,
                   EndOfRun endOfRun, SourceName sourceName = {}, TargetOptions options = {});
    ~TThreadKonvert() override;

    // Asks the run to stop before its next slice of lines; returns at once.
    void Terminate() { m_terminated.store(true, std::memory_order_relaxed); }
    bool terminated() const { return m_terminated.load(std::memory_order_relaxed); }

    // Main thread: waits until the thread has ended, running its hand-offs.
    void WaitFor();

    // What the run's target could not hold; read once it has ended.
    const LostAttributes& lost() const { return m_lost; }

    // True once Execute has returned, normally or by an error.
    bool ended() const { return m_ended.load(); }
    // The error that ended the run, if one did; never shown.
    std::exception_ptr fatalException() const { return m_fatal; }

    // The entries the target could not carry and left out
    // (ConversionCounts::refused), once the run has ended.
    int refused() const { return m_refused; }

    // The index of the source line the per-line step handles.
    int i = 0;

    // How long one hand-off may keep running per-line steps before it hands
    // the main thread back to the event loop.
    static constexpr int kSliceBudgetMicroseconds = 5000;
    // The most room made in the result before a slice, in characters: more
    // than a slice writes.
    static constexpr qsizetype kSliceRoom = 4 * 1024 * 1024;

protected:
    void run() override;
    void Execute();
    // The per-line step for line i, on the main thread: its entry, if it
    // makes one, goes to write (runConversion's).
    template <typename Write> void ProcessLine(Write& write) {
        processLine(m_source.line(i), write);
    }

private:
    struct Slices;

    const TargetOptions m_options;
    LostAttributes m_lost;
    const TStringList& m_source;
    TStringList& m_result;
    const int m_lineCount;
    EndOfRun m_endOfRun;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_ended{false};
    std::exception_ptr m_fatal;
    int m_refused = 0;
};

} // namespace dorvane
