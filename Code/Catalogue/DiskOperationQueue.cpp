#include "Code/Catalogue/DiskOperationQueue.h"

#include "Code/Catalogue/BackgroundThreadPriority.h"
#include "Code/Catalogue/InstalledApplication.h"

#include <QDeadlineTimer>
#include <QString>
#include <QThreadPool>
#include <algorithm>

QThreadPool& DiskOperationQueue::shared() {
    static QThreadPool& queue = []() -> QThreadPool& {
        // Disk operations make applications, which start loads: the load queue must be made first
        // so that it is destroyed last, after this pool has waited for its operations at exit.
        (void)InstalledApplication::lumoraLoadQueue();
        static QThreadPool pool;
        pool.setObjectName(QString::fromLatin1(name));
        pool.setMaxThreadCount(maximumConcurrentOperations);
        return pool;
    }();
    return queue;
}

void DiskOperationQueue::start(std::function<void()> operation) {
    BackgroundThreadPriority::start(shared(), std::move(operation));
}

bool DiskOperationQueue::stopBackgroundWork(std::chrono::milliseconds deadline) {
    QThreadPool& disk = shared();
    QThreadPool& loads = InstalledApplication::lumoraLoadQueue();
    disk.clear();
    loads.clear();
    const QDeadlineTimer timer(deadline);
    const auto remaining = [&timer] { return static_cast<int>(std::max<qint64>(0, timer.remainingTime())); };
    // Disk operations may start loads; whatever they queue on the way out is dropped as well.
    const bool diskDone = disk.waitForDone(remaining());
    loads.clear();
    return loads.waitForDone(remaining()) && diskDone;
}
