// A file's properties and metadata, and the metadata an exported copy of it
// carries: the same edits the renderer makes before writing the copy, then
// the JPEG segments they become.

#include "ScratchFile.h"

#include "imaging/codec/ImageProperties.h"

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// An APP segment holds at most 65,533 bytes after its length.
constexpr qsizetype kSegmentBytes = 65533;

void checkSegment(const QByteArray& payload) {
    if (payload.size() > kSegmentBytes)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto* scratch = new ScratchFile(u"input.jpg"_s);
    const QString& path = scratch->write(data, size);

    (void)ImageProperties::readHeader(path);
    const auto properties = ImageProperties::read(path);
    if (!properties)
        return 0;
    ImageMetadata metadata = properties->metadata;
    (void)metadata.orientation();
    (void)metadata.value(u"Exif.Photo.DateTimeOriginal"_s);
    metadata.setOrientation(1);
    metadata.adoptRawCameraTags();
    metadata.removeGroup(ImageMetadata::Group::dng);
    metadata.removeImageStructure();
    metadata.removePixelSize();
    metadata.setPixelSize(properties->uprightSize());
    const ImageMetadata::JpegSegments segments = metadata.jpegSegments();
    checkSegment(segments.exif);
    checkSegment(segments.xmp);
    checkSegment(segments.iptc);
    return 0;
}
