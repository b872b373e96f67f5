/* Pipeline.cpp — bounded queues between the decode thread, the render threads and the writing thread, pools
   of worlds, and one place where the first failure stops everything. */
#include "pipeline/Pipeline.h"

#include "common/Cleanup.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace cfcli {

namespace {

/* What every hand-off below shares: a lock, a condition its takers wait on, and close(), which wakes every
   waiter for good. */
class Handoff {
public:
    void close()
    {
        change([this] { closed_ = true; }, true);
    }

protected:
    /* Runs `edit` under the lock, then wakes one taker or all of them. */
    template <typename Edit>
    void change(Edit edit, bool everyone)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            edit();
        }
        if (everyone) {
            ready_.notify_all();
        } else {
            ready_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    bool closed_ = false;
};

/* A queue whose take() waits; after close() it gives nothing. */
template <typename T>
class Channel : public Handoff {
public:
    void put(T item)
    {
        change([&] { items_.push_back(std::move(item)); }, false);
    }
    std::optional<T> take()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !items_.empty(); });
        if (items_.empty()) {
            return std::nullopt;
        }
        T item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

private:
    std::deque<T> items_;
};

struct Job {
    std::size_t slot;
    std::int64_t pts;
    long index;
};

/* Finished frames, handed to the writer in their order whatever order the renderers finish in. */
class Reorder : public Handoff {
public:
    void put(Job job)
    {
        /* the one waiting taker wants one particular frame: wake it whichever this is */
        change([&] { done_.emplace(job.index, job); }, true);
    }
    /* The next frame in order, or nothing once the renderers are finished and it never came. */
    std::optional<Job> take()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || done_.count(next_) > 0; });
        const auto it = done_.find(next_);
        if (it == done_.end()) {
            return std::nullopt;
        }
        Job job = it->second;
        done_.erase(it);
        ++next_;
        return job;
    }

private:
    std::map<long, Job> done_;
    long next_ = 0;
};

} // namespace

long runPipeline(const PipelineSetup& s)
{
    const StreamDescription& d = s.source->description();
    const unsigned renderers = std::max(1u, s.renderers);
    const std::size_t pool = renderers + 2;
    /* Worlds are made when first needed: an input that declares a large size but gives no frame costs nothing. */
    std::vector<std::optional<cfhost::World>> inputs(pool);
    std::vector<std::optional<cfhost::World>> outputs(pool);
    auto world = [&](std::optional<cfhost::World>& w) -> cfhost::World& {
        if (!w) {
            w.emplace(s.session->host().makeWorld(d.width, d.height, s.depth));
        }
        return *w;
    };
    Channel<std::size_t> freeInputs;
    Channel<std::size_t> freeOutputs;
    for (std::size_t i = 0; i < pool; ++i) {
        freeInputs.put(i);
        freeOutputs.put(i);
    }
    Channel<Job> decoded;
    Reorder rendered;

    std::mutex failureMutex;
    std::exception_ptr failure;
    auto stopAll = [&](std::exception_ptr e) {
        {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure) {
                failure = e;
            }
        }
        freeInputs.close();
        freeOutputs.close();
        decoded.close();
        rendered.close();
    };

    /* Threads started here leave interrupts to this thread (see Cleanup.h). */
    std::optional<cleanup::InterruptsBlocked> blocked(std::in_place);
    std::int64_t firstPts = 0; /* written before the first frame is handed on, read after */
    std::thread decoder([&] {
        try {
            for (long index = 0;; ++index) {
                const auto slot = freeInputs.take();
                if (!slot) {
                    return;
                }
                std::int64_t pts = 0;
                if (!s.source->next(world(inputs[*slot]), pts)) {
                    break;
                }
                if (index == 0) {
                    firstPts = s.source->origin().value_or(pts);
                }
                decoded.put(Job{*slot, pts, index});
            }
            decoded.close();
        } catch (...) {
            stopAll(std::current_exception());
        }
    });

    std::vector<std::thread> workers;
    std::mutex workersMutex;
    unsigned running = renderers;
    for (unsigned r = 0; r < renderers; ++r) {
        workers.emplace_back([&] {
            try {
                /* The output world is taken before the frame: a frame in hand can always finish, so later
                   frames finishing first never hold every output world while the writer waits for it. */
                while (true) {
                    const auto out = freeOutputs.take();
                    if (!out) {
                        return;
                    }
                    const auto job = decoded.take();
                    if (!job) {
                        freeOutputs.put(*out);
                        break;
                    }
                    const long number = s.firstFrame + job->index;
                    s.session->render(*inputs[job->slot], world(outputs[*out]), number, s.timeOf(job->pts - firstPts));
                    freeInputs.put(job->slot);
                    rendered.put(Job{*out, job->pts, job->index});
                }
            } catch (...) {
                stopAll(std::current_exception());
                return;
            }
            std::lock_guard<std::mutex> lock(workersMutex);
            if (--running == 0) {
                rendered.close();
            }
        });
    }

    blocked.reset();
    long written = 0;
    try {
        while (const auto job = rendered.take()) {
            s.sink->write(*outputs[job->slot], job->pts, s.firstFrame + job->index);
            freeOutputs.put(job->slot);
            ++written;
            if (s.progress != nullptr) {
                s.progress->frameDone();
            }
        }
    } catch (...) {
        stopAll(std::current_exception());
    }
    decoder.join();
    for (std::thread& t : workers) {
        t.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return written;
}

} // namespace cfcli
