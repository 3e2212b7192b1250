// The screen image and the filmstrip thumbnails of a JPEG, as the renderer
// makes them: the scaled decode, the EXIF thumbnail and the decoded thumbnail.

#include "ScratchFile.h"

#include "imaging/render/ImageRenderer.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto* renderer = new ImageRenderer;
    static auto* scratch = new ScratchFile(u"input.jpg"_s);
    const QString& path = scratch->write(data, size);

    if (const auto screen = renderer->base(path, ShotFormat::jpeg))
        abortUnlessWithin(*screen, 2560);
    if (const auto thumbnail = renderer->thumbnail(path))
        abortUnlessWithin(*thumbnail, 240);
    if (const auto thumbnail = renderer->decodedThumbnail(path))
        abortUnlessWithin(*thumbnail, 240);
    renderer->forget({path});
    return 0;
}
