#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

namespace dorvane {

// Runs steps of a worker thread on the main thread and makes the worker wait
// for them. The main thread serves them from its event loop (a posted event
// wakes it), also inside modal dialogs, and while it waits for a worker to end
// (waitUntil): a plain QThread::wait() there would deadlock against a worker
// that is waiting for its step to run.
class HandOff : public QObject {
public:
    // The one instance, living in the application's main thread.
    static HandOff& instance();

    // Worker side: runs `step` on the main thread and returns when it has run.
    // An exception thrown by the step is thrown again here. Called on the main
    // thread itself, runs the step directly.
    void synchronize(const std::function<void()>& step);

    // Main side: runs the steps waiting when it is called, not those queued
    // meanwhile; true if any ran.
    bool servePending();

    // Main side: returns once `done()` is true, running handed-off steps
    // meanwhile. `done` is read under the hand-off's lock; whoever makes it
    // true calls notify() afterwards.
    void waitUntil(const std::function<bool()>& done);
    void notify();

protected:
    bool event(QEvent* event) override;

private:
    HandOff();

    struct Request {
        const std::function<void()>* step;
        std::exception_ptr error;
        bool done = false;
    };

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Request*> m_pending;
    bool m_wakePosted = false;
};

} // namespace dorvane
