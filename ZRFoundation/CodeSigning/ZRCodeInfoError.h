#pragma once

#include "ZRFoundation/Support/ZRError.h"

#include <cstring>
#include <string>

/// Why the signing records of a file could not be read: a POSIX error code (96 no usable data,
/// 8 exec format error, or the file system's own error on open).
class ZRCodeInfoError : public ZRError {
public:
    static constexpr const char* domain = "NSPOSIXErrorDomain";
    static constexpr int noData = 96;
    static constexpr int execFormatError = 8;

    explicit ZRCodeInfoError(int code)
        : _code(code) {}

    int code() const { return _code; }
    std::string errorDescription() const override {
        if (_code == noData) {
            return "No message available on STREAM";
        }
        return std::strerror(_code);
    }

private:
    int _code;
};
