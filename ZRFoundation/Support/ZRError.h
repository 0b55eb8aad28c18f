#pragma once

#include <exception>
#include <string>

/// Base of every failure a caller is expected to handle. `errorDescription()` is the text shown
/// to the user; `what()` returns the same text.
class ZRError : public std::exception {
public:
    virtual std::string errorDescription() const = 0;
    const char* what() const noexcept override;

private:
    mutable std::string _whatText;
};
