#pragma once

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>

// libjpeg's error handling turned into return values. A fatal error jumps
// back into `guarded`, which then reports failure; `message` holds libjpeg's
// text. Warnings (a truncated file, damaged data) are counted and otherwise
// ignored, so the decoder returns what it could read. Nothing is printed.
struct JpegErrorManager {
    jpeg_error_mgr manager{}; // first member: libjpeg passes it as the manager
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX]{};
    int warnings = 0;

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
};
