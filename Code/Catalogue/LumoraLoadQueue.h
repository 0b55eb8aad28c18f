#pragma once

class QThreadPool;

/// Where document loads run. A QThreadPool stands in on Linux for the system's concurrent operation
/// queue: loads read and verify whole bundles, so at most eight run at a time and the rest wait.
namespace LumoraLoadQueue {

/// The one pool for the whole process, made on first use with what its loads rely on.
QThreadPool& shared();

} // namespace LumoraLoadQueue
