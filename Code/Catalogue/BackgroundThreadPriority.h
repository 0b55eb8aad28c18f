#pragma once

#include <functional>

class QThreadPool;

/// Background work yields to the main thread. Qt's thread priorities change nothing for ordinary
/// threads on Linux, but each Linux thread has a nice value of its own: a pool thread raises its
/// own by 10 the first time it runs background work, so that walks and loads that keep every core
/// busy leave the main thread the time it needs to build the window and take their results.
namespace BackgroundThreadPriority {

inline constexpr int niceIncrement = 10;

/// Lowers the calling thread's priority, once per thread.
void lowerCurrentThread();

/// Starts `work` on `pool`, on a thread whose priority it has lowered; a higher `queuePriority`
/// runs it before work queued with a lower one.
void start(QThreadPool& pool, std::function<void()> work, int queuePriority = 0);

} // namespace BackgroundThreadPriority
