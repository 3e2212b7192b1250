#pragma once

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>
#include <optional>

// libjpeg's error handling turned into return values. A fatal error jumps
// back into `guarded`, which then reports failure; `message` holds libjpeg's
// text. Warnings (a truncated file, damaged data) are counted and otherwise
// ignored, so the decoder returns what it could read. Nothing is printed.
struct JpegErrorManager {
    jpeg_error_mgr manager{}; // first member: libjpeg passes it as the manager
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX]{};
    int warnings = 0;
    // Where a decompression first ran out of data: the scan it was in and the
    // row of blocks (iMCU row) it had reached in that scan.
    struct DataEnd {
        int scan = 0;
        unsigned int iMcuRow = 0;
    };
    std::optional<DataEnd> dataEnd;

    // Makes `info` report to this manager.
    void install(jpeg_common_struct* info);

    // Runs fn, which calls libjpeg; false when libjpeg failed inside it. The
    // failure jumps over fn's frame, so fn must keep no object with a
    // destructor alive across its libjpeg calls. The one place that sets the jump.
    template <typename Fn>
    bool guarded(Fn&& fn) {
        if (setjmp(jump))
            return false;
        fn();
        return true;
    }

    // Ends the libjpeg call running inside `guarded` with `text` as the
    // message (for limits of our own, checked from libjpeg's callbacks).
    [[noreturn]] void fail(const char* text);
};
