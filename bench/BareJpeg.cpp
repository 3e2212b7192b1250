#include "BareJpeg.h"

#include "imaging/codec/JpegErrorManager.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace {

unsigned char* touchedBuffer(std::vector<unsigned char>& buffer, size_t bytes) {
    if (buffer.size() < bytes)
        buffer.assign(bytes, 0);
    return buffer.data();
}

} // namespace

unsigned BareJpeg::decode(const QString& path, unsigned denominator) {
    thread_local std::vector<unsigned char> buffer;
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return 0;
    std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
    auto decompress = std::make_unique<jpeg_decompress_struct>();
    JpegErrorManager errors;
    errors.install(reinterpret_cast<j_common_ptr>(decompress.get()));
    jpeg_decompress_struct* info = decompress.get();
    unsigned rows = 0;
    std::vector<JSAMPROW> pointers;
    const bool ok = errors.guarded([&] {
        jpeg_create_decompress(info);
        jpeg_stdio_src(info, file);
        jpeg_read_header(info, TRUE);
        info->scale_num = 1;
        info->scale_denom = denominator;
        info->out_color_space = JCS_EXT_RGBX;
        jpeg_start_decompress(info);
        const size_t stride = size_t(info->output_width) * 4;
        unsigned char* pixels = touchedBuffer(buffer, stride * info->output_height);
        pointers.resize(info->output_height);
        for (JDIMENSION y = 0; y < info->output_height; ++y)
            pointers[y] = pixels + y * stride;
        while (info->output_scanline < info->output_height)
            jpeg_read_scanlines(info, pointers.data() + info->output_scanline,
                                info->output_height - info->output_scanline);
        rows = info->output_scanline;
        jpeg_finish_decompress(info);
    });
    jpeg_destroy_decompress(info);
    std::fclose(file);
    return ok ? rows : 0;
}

size_t BareJpeg::encode(const unsigned char* pixels, int width, int height, int quality) {
    thread_local std::vector<unsigned char> output;
    unsigned char* memory = touchedBuffer(output, size_t(width) * size_t(height) * 2 + 65536);
    unsigned long size = output.size();
    auto compress = std::make_unique<jpeg_compress_struct>();
    JpegErrorManager errors;
    errors.install(reinterpret_cast<j_common_ptr>(compress.get()));
    jpeg_compress_struct* info = compress.get();
    const bool ok = errors.guarded([&] {
        jpeg_create_compress(info);
        // A buffer large enough for any JPEG of these pixels: libjpeg never reallocates it.
        jpeg_mem_dest(info, &memory, &size);
        info->image_width = JDIMENSION(width);
        info->image_height = JDIMENSION(height);
        info->input_components = 4;
        info->in_color_space = JCS_EXT_RGBX;
        jpeg_set_defaults(info);
        jpeg_set_quality(info, quality, TRUE);
        jpeg_start_compress(info, TRUE);
        while (info->next_scanline < info->image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(pixels + size_t(info->next_scanline) * size_t(width) * 4);
            jpeg_write_scanlines(info, &row, 1);
        }
        jpeg_finish_compress(info);
    });
    jpeg_destroy_compress(info);
    if (memory != output.data())
        std::free(memory);
    return ok ? size_t(size) : 0;
}
