#include "ShellTestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <algorithm>

bool ShellTestSupport::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    tick.start(20);
    QSignalSpy ticks(&tick, &QTimer::timeout);
    while (elapsed.elapsed() < deadline.count()) {
        if (condition()) {
            return true;
        }
        ticks.wait(100);
    }
    return condition();
}

bool ShellTestSupport::hasDarkPixel(const QImage& image, int left, int top, int right, int bottom) {
    for (int y = top; y < std::min(image.height(), bottom); ++y) {
        for (int x = left; x < std::min(image.width(), right); ++x) {
            if (image.pixelColor(x, y).lightness() < 80) {
                return true;
            }
        }
    }
    return false;
}

::testing::AssertionResult ShellTestSupport::trigger(QAction* command) {
    if (command == nullptr) {
        return ::testing::AssertionFailure() << "the command is missing";
    }
    if (!command->isEnabled()) {
        return ::testing::AssertionFailure()
               << "the command " << command->objectName().toStdString() << " is disabled";
    }
    command->trigger();
    return ::testing::AssertionSuccess();
}
