#include "TaskPools.h"

#include <QThread>

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

void TaskPools::waitForDone() {
    userInitiated_.waitForDone();
    utility_.waitForDone();
}
