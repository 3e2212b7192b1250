#include "JpegErrorManager.h"

#include <jerror.h>

#include <cstring>

namespace {

void failed(j_common_ptr info) {
    auto* self = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, self->message);
    std::longjmp(self->jump, 1);
}

void noted(j_common_ptr info, int level) {
    // Level -1 is a warning about damaged data; higher levels are trace output.
    if (level >= 0)
        return;
    auto* self = reinterpret_cast<JpegErrorManager*>(info->err);
    ++self->warnings;
    if (info->err->msg_code == JWRN_JPEG_EOF && info->is_decompressor && !self->dataEnd) {
        const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
        self->dataEnd = JpegErrorManager::DataEnd{decompress->input_scan_number, decompress->input_iMCU_row};
    }
}

void silent(j_common_ptr) {}

} // namespace

void JpegErrorManager::install(jpeg_common_struct* info) {
    info->err = jpeg_std_error(&manager);
    manager.error_exit = failed;
    manager.emit_message = noted;
    manager.output_message = silent;
}

void JpegErrorManager::fail(const char* text) {
    std::strncpy(message, text, sizeof message - 1);
    std::longjmp(jump, 1);
}
