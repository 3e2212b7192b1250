#pragma once

#include <QDeadlineTimer>
#include <QThreadPool>

#include <initializer_list>

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

    // Waits for every queued and running job of both pools, at most until
    // `deadline`. True when none is left.
    bool waitForDone(QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));

    // For the end of main(): returns once every job of `pools` has finished.
    // A job stuck in a read that never returns (a hung network share, a device
    // that stopped answering) must not keep the process from quitting, so when
    // one still runs at `deadline` the process ends there with `status`, after
    // flushing its output and without running the destructors of objects such
    // a job may still be using.
    static void endProcessIfStuck(std::initializer_list<QThreadPool*> pools, QDeadlineTimer deadline,
                                  int status);

private:
    QThreadPool userInitiated_;
    QThreadPool utility_;
};
