#pragma once

#include <mutex>
#include <type_traits>
#include <utility>

/// A value that is only ever reached through a function run while holding the value's own lock, so
/// that threads sharing it cannot see it half changed. The functions must not reach the same value
/// again (the lock is not recursive) and should be short.
template <typename T>
class Synchronized {
public:
    Synchronized() = default;
    explicit Synchronized(T value)
        : _value(std::move(value)) {}
    Synchronized(const Synchronized&) = delete;
    Synchronized& operator=(const Synchronized&) = delete;

    /// Runs `access` with the value and returns what it returns.
    template <typename Access>
    auto with(Access&& access) -> std::invoke_result_t<Access, T&> {
        const std::lock_guard lock(_mutex);
        return std::forward<Access>(access)(_value);
    }
    /// Replaces the value and returns the one it held.
    T exchange(T value) {
        const std::lock_guard lock(_mutex);
        return std::exchange(_value, std::move(value));
    }

private:
    std::mutex _mutex;
    T _value{};
};
