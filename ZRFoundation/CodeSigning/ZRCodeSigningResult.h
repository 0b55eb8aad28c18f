#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSigningError.h"

#include <utility>
#include <variant>

/// Either a validated value or the error that stopped its construction.
template <typename T>
class ZRCodeSigningResult {
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
