#include "Code/Catalogue/BackgroundThreadPriority.h"

#include <QThreadPool>
#include <algorithm>
#include <cerrno>
#include <utility>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void BackgroundThreadPriority::lowerCurrentThread() {
    thread_local bool lowered = false;
    if (std::exchange(lowered, true)) {
        return;
    }
    // With a thread ID, PRIO_PROCESS names that one thread. Raising a nice value needs no
    // privilege; failing to is harmless.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, thread);
    if (errno == 0) {
        (void)::setpriority(PRIO_PROCESS, thread, std::min(current + niceIncrement, 19));
    }
}

void BackgroundThreadPriority::start(QThreadPool& pool, std::function<void()> work, int queuePriority) {
    pool.start(
        [work = std::move(work)] {
            lowerCurrentThread();
            work();
        },
        queuePriority);
}
