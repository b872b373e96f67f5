/* ThreadPool.h — a fixed set of worker threads running queued jobs in order of submission. */
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cfhost::detail {

class ThreadPool {
public:
    explicit ThreadPool(unsigned workers);
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;
    ~ThreadPool(); /* runs what is queued, then joins */

    unsigned workers() const noexcept { return static_cast<unsigned>(threads_.size()); }
    void submit(std::function<void()> job);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace cfhost::detail
