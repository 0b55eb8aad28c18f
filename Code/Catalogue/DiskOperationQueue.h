#pragma once

class QThreadPool;

/// The pool that the application sources read the disk on, shared by all of them so that they do
/// not together swamp the disks: one Qt thread pool of at most five threads.
namespace DiskOperationQueue {

inline constexpr const char* name =
    "org.lumoraviewer.LumoraViewer.LumoraViewer.AsyncApplicationsSource.DiskOperationQueue";
inline constexpr int maximumConcurrentOperations = 5;

/// Made on first use; lives until the process ends, waiting then for the operations under way.
QThreadPool& shared();

} // namespace DiskOperationQueue
