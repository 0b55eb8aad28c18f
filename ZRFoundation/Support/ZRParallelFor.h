#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

/// Calls `body(index)` for every index below `count` on at most `maximumThreads` threads (the
/// calling thread is one of them), each taking the next index as it becomes free, and returns when
/// all calls have. `body` must not throw.
inline void ZRParallelFor(std::size_t count, std::size_t maximumThreads,
                          const std::function<void(std::size_t)>& body) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t index = next++; index < count; index = next++) {
            body(index);
        }
    };
    std::vector<std::jthread> helpers;
    const std::size_t threads = std::clamp<std::size_t>(std::min(count, maximumThreads), 1, count + 1);
    for (std::size_t index = 1; index < threads; ++index) {
        helpers.emplace_back(work);
    }
    work();
}
