#pragma once

#include "Code/Shell/ShellAnimation.h"

#include <QAction>
#include <QImage>
#include <QString>
#include <chrono>
#include <functional>

#include <gtest/gtest.h>

namespace ShellTestSupport {

/// Runs the event loop in short slices until `condition` holds or `deadline` has passed; true
/// when it held. Grabs right after a load are still blank, so pixels are awaited this way.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));

/// Whether `image` shows dark text in the rectangle from (left, top) to (right, bottom).
bool hasDarkPixel(const QImage& image, int left, int top, int right, int bottom);

/// Triggers `command`; fails the test when it is missing or disabled.
::testing::AssertionResult trigger(QAction* command);

/// Turns the interface's animations on for a test that watches one; they are off otherwise.
class AnimationsOn {
public:
    AnimationsOn() { ShellAnimation::setEnabled(true); }
    ~AnimationsOn() { ShellAnimation::setEnabled(false); }
    AnimationsOn(const AnimationsOn&) = delete;
    AnimationsOn& operator=(const AnimationsOn&) = delete;
};

} // namespace ShellTestSupport

/// Waits until `condition` holds, failing the test with `message` when it does not in time.
#define ASSERT_EVENTUALLY(condition, message)                                                                \
    ASSERT_TRUE(ShellTestSupport::waitUntil([&] { return static_cast<bool>(condition); })) << message
#define EXPECT_EVENTUALLY(condition, message)                                                                \
    EXPECT_TRUE(ShellTestSupport::waitUntil([&] { return static_cast<bool>(condition); })) << message
