#pragma once

#include <optional>

#include <gtest/gtest.h>

/// The `Error` that `action` throws; a test failure and nothing when it throws none.
template <typename Error, typename Action>
std::optional<Error> thrownBy(Action&& action) {
    try {
        action();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "nothing was thrown";
    return std::nullopt;
}
