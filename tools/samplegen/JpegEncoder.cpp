#include "JpegEncoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>

using namespace Qt::StringLiterals;

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr, int) {}

// The libjpeg objects and the output buffer that jpeg_mem_dest allocates.
struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;

    ~Compressor() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

// libjpeg reports errors by longjmp, so everything between setjmp and the end
// of compression stays in this one function and owns no C++ objects that a
// jump could skip.
bool compress(Compressor& c, const QImage& rgb, int quality, JpegEncoder::Subsampling subsampling) {
    c.cinfo.err = jpeg_std_error(&c.errors.base);
    c.errors.base.error_exit = onError;
    c.errors.base.emit_message = onMessage;
    if (setjmp(c.errors.jump))
        return false;
    jpeg_create_compress(&c.cinfo);
    jpeg_mem_dest(&c.cinfo, &c.buffer, &c.size);
    c.cinfo.image_width = JDIMENSION(rgb.width());
    c.cinfo.image_height = JDIMENSION(rgb.height());
    c.cinfo.input_components = 3;
    c.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_quality(&c.cinfo, quality, TRUE);
    c.cinfo.dct_method = JDCT_ISLOW;
    const int horizontal = subsampling == JpegEncoder::Subsampling::s444 ? 1 : 2;
    const int vertical = subsampling == JpegEncoder::Subsampling::s420 ? 2 : 1;
    c.cinfo.comp_info[0].h_samp_factor = horizontal;
    c.cinfo.comp_info[0].v_samp_factor = vertical;
    for (int i = 1; i < 3; ++i) {
        c.cinfo.comp_info[i].h_samp_factor = 1;
        c.cinfo.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&c.cinfo, TRUE);
    while (c.cinfo.next_scanline < c.cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(c.cinfo.next_scanline)));
        jpeg_write_scanlines(&c.cinfo, &row, 1);
    }
    jpeg_finish_compress(&c.cinfo);
    return true;
}

} // namespace

std::expected<QByteArray, QString> JpegEncoder::encode(const QImage& image, int quality,
                                                       Subsampling subsampling) {
    if (image.isNull())
        return std::unexpected(u"There is no image to encode."_s);
    if (image.width() > 65500 || image.height() > 65500)
        return std::unexpected(
            u"A JPEG image can't be %1 x %2 pixels."_s.arg(image.width()).arg(image.height()));
    if (quality < 1 || quality > 100)
        return std::unexpected(u"JPEG quality %1 is outside 1 to 100."_s.arg(quality));
    const QImage rgb =
        image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
    Compressor compressor;
    if (!compress(compressor, rgb, quality, subsampling))
        return std::unexpected(
            u"JPEG encoding failed: %1"_s.arg(QString::fromLocal8Bit(compressor.errors.message)));
    return QByteArray(reinterpret_cast<const char*>(compressor.buffer), qsizetype(compressor.size));
}
