#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningError.h"

#include <optional>
#include <utility>
#include <variant>

/// Either a validated value or the error that stopped its construction. Dropping one unread is a
/// compile-time warning: the error inside would go unnoticed.
template <typename T>
class [[nodiscard]] ZRCodeSigningResult {
public:
    ZRCodeSigningResult(T value)
        : _storage(std::move(value)) {}
    ZRCodeSigningResult(ZRCodeSigningError error)
        : _storage(std::move(error)) {}

    bool hasValue() const { return _storage.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    const T& value() const& { return std::get<0>(_storage); }
    T& value() & { return std::get<0>(_storage); }
    T&& value() && { return std::get<0>(std::move(_storage)); }
    const T* operator->() const { return &std::get<0>(_storage); }
    const T& operator*() const { return std::get<0>(_storage); }
    const ZRCodeSigningError& error() const { return std::get<1>(_storage); }

private:
    std::variant<T, ZRCodeSigningError> _storage;
};

/// The outcome of a step that yields nothing but may fail: default-constructed it is a success.
template <>
class [[nodiscard]] ZRCodeSigningResult<void> {
public:
    ZRCodeSigningResult() = default;
    ZRCodeSigningResult(ZRCodeSigningError error)
        : _error(std::move(error)) {}

    bool hasValue() const { return !_error.has_value(); }
    explicit operator bool() const { return hasValue(); }
    const ZRCodeSigningError& error() const { return *_error; }

private:
    std::optional<ZRCodeSigningError> _error;
};
