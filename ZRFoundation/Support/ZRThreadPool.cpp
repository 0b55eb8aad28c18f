#include "ZRFoundation/Support/ZRThreadPool.h"

ZRThreadPool::ZRThreadPool(std::size_t threadCount) {
    for (std::size_t index = 0; index < std::max<std::size_t>(threadCount, 1); ++index) {
        _workers.emplace_back([this] { work(); });
    }
}

ZRThreadPool::~ZRThreadPool() {
    {
        std::lock_guard lock(_mutex);
        _stopping = true;
    }
    _available.notify_all();
    for (auto& worker : _workers) {
        worker.join();
    }
}

void ZRThreadPool::submit(std::function<void()> job) {
    {
        std::lock_guard lock(_mutex);
        _jobs.push_back(std::move(job));
    }
    _available.notify_one();
}

void ZRThreadPool::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(_mutex);
            _available.wait(lock, [this] { return _stopping || !_jobs.empty(); });
            if (_jobs.empty()) {
                return;
            }
            job = std::move(_jobs.front());
            _jobs.pop_front();
        }
        job();
    }
}
