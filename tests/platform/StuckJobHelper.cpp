// stuck-job-helper FIFO
//   Starts a job that blocks reading FIFO, then ends as the viewer's main()
//   does. Prints "waiting" (buffered) before it waits and "returned" if the
//   wait returns; exits with status 0 either way.
// stuck-job-helper --quick
//   The same with a job that finishes at once.
#include "platform/TaskPools.h"

#include <QSemaphore>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc != 2)
        return 3;
    TaskPools pools;
    QSemaphore started;
    const bool quick = std::strcmp(argv[1], "--quick") == 0;
    const std::string fifo = argv[1];
    pools.userInitiated()->start([&started, quick, fifo] {
        started.release();
        if (quick)
            return;
        // No writer ever comes: the open blocks, as a read of a hung device would.
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char byte;
        if (fd >= 0 && ::read(fd, &byte, 1) >= 0)
            ::close(fd);
    });
    started.acquire();
    std::printf("waiting\n");
    TaskPools::endProcessIfStuck({pools.userInitiated(), pools.utility()},
                                 QDeadlineTimer(std::chrono::seconds(2)), 0);
    std::printf("returned\n");
    return 0;
}
