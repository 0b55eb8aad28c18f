#include "Code/Catalogue/DiskOperationQueue.h"

#include "Code/Catalogue/InstalledApplication.h"

#include <QString>
#include <QThreadPool>

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
