#include "Code/Catalogue/LumoraLoadQueue.h"

#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "ZRFoundation/CodeSigning/ZRCryptoLibrary.h"

#include <QThreadPool>

namespace LumoraLoadQueue {

QThreadPool& shared() {
    static QThreadPool& queue = []() -> QThreadPool& {
        // Loads read the environment; making it first makes it outlive the pool, whose destruction
        // at exit waits for the loads still running.
        (void)LumoraLoadEnvironment::current();
        // The loads check signatures; a program that did not start the crypto library itself gets
        // it started here, still without a clean-up at exit under the pool's threads.
        ZRCryptoLibrary::initialize();
        static QThreadPool pool;
        pool.setObjectName(QStringLiteral("org.lumoraviewer.LumoraViewer.LumoraLoadQueue"));
        pool.setMaxThreadCount(8);
        return pool;
    }();
    return queue;
}

} // namespace LumoraLoadQueue
