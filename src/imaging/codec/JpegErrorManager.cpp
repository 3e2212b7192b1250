#include "JpegErrorManager.h"

namespace {

void failed(j_common_ptr info) {
    auto* self = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, self->message);
    std::longjmp(self->jump, 1);
}

void noted(j_common_ptr info, int level) {
    // Level -1 is a warning about damaged data; higher levels are trace output.
    if (level < 0)
        ++reinterpret_cast<JpegErrorManager*>(info->err)->warnings;
}

void silent(j_common_ptr) {}

} // namespace

void JpegErrorManager::install(jpeg_common_struct* info) {
    info->err = jpeg_std_error(&manager);
    manager.error_exit = failed;
    manager.emit_message = noted;
    manager.output_message = silent;
}
