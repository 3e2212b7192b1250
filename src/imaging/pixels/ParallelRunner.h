#pragma once

#include <QThreadPool>

#include <climits>
#include <condition_variable>
#include <functional>
#include <mutex>

// Splits pixel work across the cores. The calling thread always takes part
// and helpers only take chunks nobody has started, so a call never waits on a
// busy pool and nested or concurrent calls cannot deadlock. Owns its helper
// threads; any thread may call `run`, several at once.
class ParallelRunner {
public:
    // `threads` counts the caller; 0 means one per core.
    explicit ParallelRunner(int threads = 0);
    ~ParallelRunner();
    ParallelRunner(const ParallelRunner&) = delete;
    ParallelRunner& operator=(const ParallelRunner&) = delete;

    int threadCount() const { return threads_; }

    // Work the calling thread asks for from now on runs on it alone. For
    // background threads (neighbour prefetch, thumbnails): at their lowered
    // priority they then never take a core from work the user waits for.
    static void keepCurrentThreadToItself();

    // Calls work(begin, end) for consecutive chunks of [0, count), each at
    // most `grain` long, on the caller and up to threadCount() - 1 helpers.
    // With `first`, the caller runs it before taking chunks (a producer the
    // chunks may wait on through Progress); helpers start on chunks meanwhile.
    // Returns when every chunk is done.
    void run(int count, int grain, const std::function<void(int, int)>& work,
             const std::function<void()>& first = {}) const;

    // The same on `runner`, or all of [0, count) on the calling thread when there is none.
    static void run(const ParallelRunner* runner, int count, int grain,
                    const std::function<void(int, int)>& work) {
        if (runner)
            runner->run(count, grain, work);
        else
            work(0, count);
    }

    // How far a producer has got, for chunks that must wait for its rows.
    class Progress {
    public:
        void publish(int rows);
        // No more rows will come (done, or failed part-way).
        void finish();
        // Waits until `rows` are available; false when the producer finished short of them.
        bool waitFor(int rows);

    private:
        std::mutex mutex_;
        std::condition_variable changed_;
        int rows_ = 0;
        // The fewest rows a waiter needs: publishing wakes nobody before.
        int wanted_ = INT_MAX;
        bool finished_ = false;
    };

private:
    int threads_ = 1;
    mutable QThreadPool pool_;
};
