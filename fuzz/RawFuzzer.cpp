// A RAW file's screen image (developed by LibRaw at a reduced scale, as the
// renderer asks for it) and its thumbnail from the embedded preview, which
// our own bounded reader finds.

#include "ScratchFile.h"

#include "imaging/render/ImageRenderer.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto* renderer = new ImageRenderer;
    static auto* scratch = new ScratchFile(u"input.dng"_s);
    const QString& path = scratch->write(data, size);

    if (const auto screen = renderer->base(path, ShotFormat::raw))
        abortUnlessWithin(*screen, 2560);
    if (const auto thumbnail = renderer->thumbnail(path))
        abortUnlessWithin(*thumbnail, 240);
    renderer->forget({path});
    return 0;
}
