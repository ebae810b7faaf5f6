#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>

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
        changed.notify_all();
    }

    // Asks the reading thread to stop; it does at its next wait.
    void stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
    }
};

} // namespace dorvane
