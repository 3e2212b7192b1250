#include "ParallelRunner.h"

#include "platform/Background.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

struct Job {
    std::atomic<int> next{0};
    int count = 0;
    int grain = 1;
    const std::function<void(int, int)>* work = nullptr;

    std::atomic<int> inFlight{0};
    std::mutex mutex;
    std::condition_variable idle;

    void takeChunks() {
        for (;;) {
            const int begin = next.fetch_add(grain);
            if (begin >= count)
                return;
            (*work)(begin, std::min(begin + grain, count));
        }
    }
};

thread_local bool alone = false;

} // namespace

void ParallelRunner::keepCurrentThreadToItself() {
    alone = true;
}

ParallelRunner::ParallelRunner(int threads)
    : threads_(threads > 0 ? threads : std::max(1, QThread::idealThreadCount())) {
    pool_.setMaxThreadCount(std::max(1, threads_ - 1));
    pool_.setExpiryTimeout(-1);
}

ParallelRunner::~ParallelRunner() {
    pool_.waitForDone();
}

void ParallelRunner::run(int count, int grain, const std::function<void(int, int)>& work,
                         const std::function<void()>& first) const {
    if (count <= 0) {
        if (first)
            first();
        return;
    }
    grain = std::max(1, grain);
    const int chunks = (count + grain - 1) / grain;
    const int helpers = alone ? 0 : std::min(threads_ - 1, first ? chunks : chunks - 1);
    if (helpers <= 0) {
        if (first)
            first();
        for (int begin = 0; begin < count; begin += grain)
            work(begin, std::min(begin + grain, count));
        return;
    }

    auto job = std::make_shared<Job>();
    job->count = count;
    job->grain = grain;
    job->work = &work;
    for (int i = 0; i < helpers; ++i) {
        Background::run(&pool_, [job] {
            // Counted before claiming: the caller waits for every helper that
            // may have claimed a chunk; one that arrives late finds none left
            // and never touches `work`.
            job->inFlight.fetch_add(1);
            job->takeChunks();
            if (job->inFlight.fetch_sub(1) == 1) {
                std::lock_guard lock(job->mutex);
                job->idle.notify_all();
            }
        });
    }
    if (first)
        first();
    job->takeChunks();
    std::unique_lock lock(job->mutex);
    job->idle.wait(lock, [&] { return job->inFlight.load() == 0; });
}

void ParallelRunner::Progress::publish(int rows) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        rows_ = std::max(rows_, rows);
        wake = rows_ >= wanted_;
        if (wake)
            wanted_ = INT_MAX;
    }
    if (wake)
        changed_.notify_all();
}

void ParallelRunner::Progress::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

bool ParallelRunner::Progress::waitFor(int rows) {
    std::unique_lock lock(mutex_);
    while (rows_ < rows && !finished_) {
        // Every waiter still short of its rows says so again after a wake.
        wanted_ = std::min(wanted_, rows);
        changed_.wait(lock);
    }
    return rows_ >= rows;
}
