#pragma once

#include <chrono>

/// When a walk that is still going hands the applications it has found so far to the main thread:
/// soon after it starts, so that the loading view shows a count at once, then a few times a
/// second, so that the main thread, which merges and sorts the whole list for each batch, is not
/// kept busy with them. Used on the walking thread only.
class FoundApplicationBatchSchedule {
public:
    using Clock = std::chrono::steady_clock;

    struct Delays {
        std::chrono::milliseconds first;
        std::chrono::milliseconds interval;
    };
    static constexpr Delays standardDelays{std::chrono::milliseconds(40), std::chrono::milliseconds(250)};

    explicit FoundApplicationBatchSchedule(Delays delays, Clock::time_point start = Clock::now())
        : _interval(delays.interval)
        , _nextBatch(start + delays.first) {}

    /// Whether a batch is due now; if so, the next one is due an interval later.
    bool isDue(Clock::time_point now = Clock::now()) {
        if (now < _nextBatch) {
            return false;
        }
        _nextBatch = now + _interval;
        return true;
    }

private:
    std::chrono::milliseconds _interval;
    Clock::time_point _nextBatch;
};
