#pragma once

#include <chrono>
#include <functional>

class QThreadPool;

/// The pool that the application sources read the disk on, shared by all of them so that they do
/// not together swamp the disks: one Qt thread pool of at most five threads.
namespace DiskOperationQueue {

inline constexpr const char* name =
    "org.lumoraviewer.LumoraViewer.LumoraViewer.AsyncApplicationsSource.DiskOperationQueue";
inline constexpr int maximumConcurrentOperations = 5;

/// Made on first use; lives until the process ends, waiting then for the operations under way.
QThreadPool& shared();

/// Runs `operation` on the shared pool, on a thread that yields to the main thread.
void start(std::function<void()> operation);

/// For quitting: drops the disk operations and loads that have not started, and waits at most
/// `deadline` in all for those under way. False when some are still running (a walk of a hung
/// volume): the caller then ends the process without waiting for them.
bool stopBackgroundWork(std::chrono::milliseconds deadline);

} // namespace DiskOperationQueue
