#include "Code/Catalogue/BackgroundThreadPriority.h"
#include "Code/Catalogue/DiskOperationQueue.h"

#include <QElapsedTimer>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <future>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

int niceValueOfThisThread() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

// Walks and loads that keep every core busy must leave the main thread its time.
TEST(DiskOperationQueue, RunsOperationsOnThreadsThatYieldToTheMainThread) {
    const int callerNice = niceValueOfThisThread();
    std::promise<int> operationNice;
    DiskOperationQueue::start([&operationNice] { operationNice.set_value(niceValueOfThisThread()); });
    EXPECT_EQ(operationNice.get_future().get(),
              std::min(callerNice + BackgroundThreadPriority::niceIncrement, 19));
    EXPECT_EQ(niceValueOfThisThread(), callerNice) << "the caller keeps its priority";
}

// Quitting waits a bounded time for an operation that hangs (as a walk of a hung volume does),
// drops what has not started, and still sees work that ends in time as done.
TEST(DiskOperationQueue, StoppingWaitsABoundedTimeAndDropsWhatHasNotStarted) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> started;
    auto& queue = DiskOperationQueue::shared();
    queue.start([released, &started] {
        started.set_value();
        released.wait();
    });
    started.get_future().wait();
    std::atomic<int> ranLater{0};
    // More than the queue runs at once: some wait, and those are dropped.
    for (int index = 0; index < 4 * DiskOperationQueue::maximumConcurrentOperations; ++index) {
        queue.start([released, &ranLater] {
            released.wait();
            ++ranLater;
        });
    }
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(DiskOperationQueue::stopBackgroundWork(200ms));
    EXPECT_LT(elapsed.elapsed(), 2000) << "the wait is bounded";

    release.set_value();
    EXPECT_TRUE(DiskOperationQueue::stopBackgroundWork(10s));
    EXPECT_LT(ranLater.load(), 4 * DiskOperationQueue::maximumConcurrentOperations)
        << "operations that had not started were dropped";
}

} // namespace
