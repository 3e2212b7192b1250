#pragma once

#include <QThreadPool>

// The two worker pools of the viewer. User-initiated work (folder scans, stage
// and detail renders, saves) runs at normal priority; utility work (neighbour
// prefetch, thumbnails) runs on threads with a raised nice value, so it never
// slows down what the user is waiting for. Created once on the main thread.
class TaskPools {
public:
    TaskPools();
    ~TaskPools();
    TaskPools(const TaskPools&) = delete;
    TaskPools& operator=(const TaskPools&) = delete;

    QThreadPool* userInitiated() { return &userInitiated_; }
    QThreadPool* utility() { return &utility_; }

    // Called at the start of each utility job: lowers the calling thread's
    // scheduling priority once (QThread priorities have no effect under Linux's
    // default scheduler, a per-thread nice value does).
    static void lowerCurrentThreadPriority();

    // Waits for every queued and running job of both pools.
    void waitForDone();

private:
    QThreadPool userInitiated_;
    QThreadPool utility_;
};
