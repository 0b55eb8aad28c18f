#pragma once

class QThreadPool;

/// The pool that the application sources read the disk on, shared by all of them so that they do
/// not together swamp the disks: at most five operations at a time.
namespace DiskOperationQueue {

inline constexpr const char* name =
    "org.lumoraviewer.LumoraViewer.LumoraViewer.AsyncApplicationsSource.DiskOperationQueue";
inline constexpr int maximumConcurrentOperations = 5;

/// Made on first use; lives until the process ends, waiting then for the operations under way.
QThreadPool& shared();

} // namespace DiskOperationQueue
