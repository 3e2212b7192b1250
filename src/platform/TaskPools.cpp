#include "TaskPools.h"

#include <QThread>

#include <algorithm>
#include <cstdio>
#include <limits>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

TaskPools::TaskPools() {
    const int cores = std::max(2, QThread::idealThreadCount());
    userInitiated_.setMaxThreadCount(cores);
    utility_.setMaxThreadCount(cores);
}

TaskPools::~TaskPools() {
    waitForDone();
}

void TaskPools::lowerCurrentThreadPriority() {
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, tid, 10);
}

namespace {

bool waitForPool(QThreadPool& pool, QDeadlineTimer deadline) {
    if (deadline.isForever())
        return pool.waitForDone();
    return pool.waitForDone(int(std::min<qint64>(deadline.remainingTime(), std::numeric_limits<int>::max())));
}

} // namespace

bool TaskPools::waitForDone(QDeadlineTimer deadline) {
    const bool userDone = waitForPool(userInitiated_, deadline);
    return waitForPool(utility_, deadline) && userDone;
}

void TaskPools::endProcessIfStuck(std::initializer_list<QThreadPool*> pools, QDeadlineTimer deadline,
                                  int status) {
    bool done = true;
    for (QThreadPool* pool : pools)
        done = waitForPool(*pool, deadline) && done;
    if (done)
        return;
    std::fflush(nullptr);
    ::_exit(status);
}
