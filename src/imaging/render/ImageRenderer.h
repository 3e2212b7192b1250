#pragma once

// Imaging, render part: turning files and edits into pixels. The lazy image,
// the rendering context that runs its description, the renderer with its
// caches of screen images, thumbnails and sizes, and render errors. The one
// part that uses all the others: codec, color, edit and pixels.

#include "RenderError.h"
#include "imaging/edit/Edit.h"

#include "card/Shot.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <expected>
#include <memory>
#include <optional>

// Turns camera files into Display P3 bitmaps: the 2560-pixel screen image
// (cached, 16 entries), edited renders, the full-resolution detail, filmstrip
// thumbnails (cached, 2000 entries), the TV's JPEG and edited full-size copies.
// Called from several worker threads and the main thread at once; its only
// mutable state is its two caches, and no lock is held while decoding.
class ImageRenderer {
public:
    ImageRenderer();
    ~ImageRenderer();
    ImageRenderer(const ImageRenderer&) = delete;
    ImageRenderer& operator=(const ImageRenderer&) = delete;

    std::expected<QImage, RenderError> base(const QString& url, ShotFormat format) const;
    // Makes and caches the screen image unless it is cached already (then
    // nothing is converted back): the neighbour prefetch.
    void prefetchBase(const QString& url, ShotFormat format) const;
    std::expected<QImage, RenderError> render(const QString& url, ShotFormat format, const Edit& edit) const;
    std::expected<QImage, RenderError> fullResolution(const QString& url, ShotFormat format,
                                                      const Edit& edit) const;
    // At most 240 pixels on the longer side, upright; nothing when unreadable.
    std::optional<QImage> thumbnail(const QString& url) const;
    // A thumbnail decoded from the photo itself (240 pixels) rather than the
    // camera's embedded one, which is often too small for a HiDPI cell. It
    // takes the cached thumbnail's place; nothing when unreadable.
    std::optional<QImage> decodedThumbnail(const QString& url) const;
    // The cached thumbnail of a file, without decoding; nothing when none is cached.
    std::optional<QImage> cachedThumbnail(const QString& url) const;
    // What identifies the cached thumbnail of a file (it changes when a
    // sharper one takes its place), without making its pixels.
    std::optional<qint64> cachedThumbnailKey(const QString& url) const;
    // sRGB JPEG, Lanczos-downscaled to at most maxPixel; nothing on failure.
    std::optional<QByteArray> jpegData(const QImage& image, int maxPixel, double quality) const;
    // Writes the edited full-size copy into `folder` and answers its path.
    std::expected<QString, RenderError> exportCopy(const Shot& shot, ShotFormat format, const Edit& edit,
                                                   const QString& folder) const;
    // Upright pixel size from the file's properties; nothing when unknown.
    std::optional<QSize> pixelSize(const QString& url) const;
    // Drops every cached bitmap of these files.
    void forget(const QStringList& urls) const;
    // Gives the scratch blocks kept from full-resolution work (an export, a
    // detail) back to the system; those of screen-size work stay for the next step.
    void releaseSpareMemory() const;
    // Bytes of scratch kept for reuse.
    size_t spareBytes() const;

private:
    // Decodes the screen image and caches it (unless the file was forgotten meanwhile).
    std::expected<QImage, RenderError> makeBase(const QString& url, ShotFormat format) const;

    struct Private;
    std::unique_ptr<Private> d;
};
