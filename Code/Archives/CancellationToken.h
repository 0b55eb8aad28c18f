// CancellationToken: a thread-safe request to stop a piece of work, with a descriptor that becomes
// readable once the request is made, so that a thread waiting in poll() wakes at once.
#pragma once

#include <atomic>

class CancellationToken {
public:
    CancellationToken();
    ~CancellationToken();
    CancellationToken(const CancellationToken&) = delete;
    CancellationToken& operator=(const CancellationToken&) = delete;

    /// Asks the work to stop; callable from any thread, any number of times.
    void cancel();
    bool isCancelled() const { return _cancelled.load(std::memory_order_acquire); }

    /// A descriptor that polls readable (POLLIN) once `cancel()` was called, or -1 when none could
    /// be made: a waiter then has to look at `isCancelled()` at short intervals.
    int wakeDescriptor() const { return _eventDescriptor; }

private:
    std::atomic<bool> _cancelled{false};
    int _eventDescriptor = -1;
};
