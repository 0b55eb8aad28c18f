#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

/// A fixed set of worker threads running submitted jobs in submission order. The destructor
/// finishes the queued jobs, then joins the workers.
class ZRThreadPool {
public:
    explicit ZRThreadPool(std::size_t threadCount);
    ~ZRThreadPool();
    ZRThreadPool(const ZRThreadPool&) = delete;
    ZRThreadPool& operator=(const ZRThreadPool&) = delete;

    void submit(std::function<void()> job);

private:
    void work();

    std::mutex _mutex;
    std::condition_variable _available;
    std::deque<std::function<void()>> _jobs;
    bool _stopping = false;
    std::vector<std::thread> _workers;
};
