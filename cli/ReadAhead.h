#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace dorvane {

// What a thread that reads ahead shares with the thread that takes its
// pieces, besides the pieces themselves: the lock and its signal, the end,
// the request to stop, and an error to hand over.
struct ReadAhead {
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false; // the reading thread is done, for whatever reason
    bool stopping = false; // the taker wants no more
    std::exception_ptr error;

    // Bumped at every signal(), read without the lock by a thread about to
    // wait.
    std::atomic<unsigned> signalled{0};

    // Tells the other thread that something changed (with the lock held or
    // not).
    void signal() {
        signalled.fetch_add(1, std::memory_order_release);
        changed.notify_all();
    }

    // Waits, with `lock` on `mutex`, until ready() holds. A piece takes a
    // tenth of a millisecond or so to make or to write, and the other thread
    // is usually only microseconds from its next signal: going to sleep and
    // being woken costs more than that (a hundredth of the whole run, in a
    // virtual machine). So a waiter first watches `signalled` for a while,
    // then sleeps on `changed` as before.
    template <typename Ready> void wait(std::unique_lock<std::mutex>& lock, Ready ready) {
        if (ready())
            return;
        const unsigned seen = signalled.load(std::memory_order_acquire);
        lock.unlock();
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
        for (int k = 0; signalled.load(std::memory_order_acquire) == seen; ++k) {
            if (k % 64 == 63 && std::chrono::steady_clock::now() > until)
                break;
            std::this_thread::yield();
        }
        lock.lock();
        changed.wait(lock, ready);
    }

    // The reading thread's whole work: what `body` throws is kept for the
    // taker, and the end is announced either way.
    template <typename Body> void run(Body&& body) {
        try {
            body();
        } catch (...) {
            std::lock_guard lock(mutex);
            error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        signal();
    }

    // Asks the reading thread to stop; it does at its next wait.
    void stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        signal();
    }
};

} // namespace dorvane
