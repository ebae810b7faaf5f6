#include "convert/HandOff.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
// Qt hands a posted event to the main thread under its own lock, which
// ThreadSanitizer cannot see in an uninstrumented Qt: say so explicitly.
#define DORVANE_HANDED_OVER(token) __tsan_release(token)
#define DORVANE_TAKEN_OVER(token) __tsan_acquire(token)
#else
#define DORVANE_HANDED_OVER(token) ((void)0)
#define DORVANE_TAKEN_OVER(token) ((void)0)
#endif

namespace dorvane {

namespace {
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

HandOff::HandOff() {
    if (QCoreApplication* app = QCoreApplication::instance())
        moveToThread(app->thread());
}

HandOff& HandOff::instance() {
    static HandOff* handOff = new HandOff; // lives as long as the process
    return *handOff;
}

void HandOff::synchronize(const std::function<void()>& step) {
    if (QThread::currentThread() == thread()) {
        step();
        return;
    }
    Request request{&step, nullptr, false};
    {
        std::unique_lock lock(m_mutex);
        m_pending.push_back(&request);
        if (!m_wakePosted) {
            m_wakePosted = true;
            auto* wake = new QEvent(kWakeEvent);
            DORVANE_HANDED_OVER(this);
            QCoreApplication::postEvent(this, wake, Qt::HighEventPriority);
        }
        m_changed.notify_all(); // a main thread in waitUntil serves it at once
        m_changed.wait(lock, [&] { return request.done; });
    }
    if (request.error)
        std::rethrow_exception(request.error);
}

bool HandOff::servePending() {
    // Only the steps already waiting: a worker queues its next step as soon as
    // one has run, and serving those too would keep the event loop (and the
    // window) from running until the whole conversion is done.
    size_t waiting;
    {
        std::lock_guard lock(m_mutex);
        waiting = m_pending.size();
    }
    bool ran = false;
    for (; waiting > 0; --waiting) {
        Request* request = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.empty())
                return ran;
            request = m_pending.front();
            m_pending.pop_front();
        }
        std::exception_ptr error;
        try {
            (*request->step)();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(m_mutex);
            request->error = error;
            request->done = true;
        }
        m_changed.notify_all();
        ran = true;
    }
    return ran;
}

void HandOff::waitUntil(const std::function<bool()>& done) {
    std::unique_lock lock(m_mutex);
    while (!done()) {
        if (!m_pending.empty()) {
            lock.unlock();
            servePending();
            lock.lock();
            continue;
        }
        m_changed.wait(lock);
    }
}

void HandOff::notify() {
    { std::lock_guard lock(m_mutex); }
    m_changed.notify_all();
}

bool HandOff::event(QEvent* event) {
    DORVANE_TAKEN_OVER(this);
    if (event->type() != kWakeEvent)
        return QObject::event(event);
    {
        std::lock_guard lock(m_mutex);
        m_wakePosted = false;
    }
    servePending();
    return true;
}

} // namespace dorvane
