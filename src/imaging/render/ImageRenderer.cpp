#include "ImageRenderer.h"

#include "BitmapCache.h"
#include "RenderContext.h"
#include "imaging/codec/ExclusiveFile.h"
#include "imaging/codec/ImageDestination.h"
#include "imaging/codec/ImageMetadata.h"
#include "imaging/codec/ImageProperties.h"
#include "imaging/codec/JpegReader.h"
#include "imaging/codec/RawDeveloper.h"
#include "imaging/codec/ThumbnailReader.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QVariantMap>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

// The screen image: large enough for a 2560-point-wide stage, small enough
// that stepping through cached shots costs no decode.
constexpr int screenPixels = 2560;
constexpr int thumbnailPixels = 240;
constexpr int baseCacheLimit = 16;
constexpr int thumbnailCacheLimit = 2000;
constexpr double exportQuality = 0.92;
// Scratch of a screen image's decode or development (a half-scale 24-megapixel
// decode takes 24 MB) stays within this; full-resolution work needs more.
constexpr size_t screenWorkBytes = size_t(64) << 20;

// What the camera file says about itself, made true of an upright JPEG of
// `size`: orientation 1, no DNG tags or RAW structure, the real pixel size.
ImageMetadata exportProperties(const QString& url, QSize size) {
    auto metadata = ImageMetadata::read(url);
    ImageMetadata properties = metadata ? *metadata : ImageMetadata();
    properties.setOrientation(1);
    properties.adoptRawCameraTags();
    properties.removeGroup(ImageMetadata::Group::dng);
    properties.removeImageStructure();
    properties.removePixelSize();
    properties.setPixelSize(size);
    return properties;
}

// Thumbnails are kept by the thousand: an opaque one in three bytes a pixel
// rather than four. Painting converts each once for the screen anyway.
QImage compactThumbnail(const QImage& thumbnail) {
    if (thumbnail.format() != QImage::Format_RGBX8888)
        return thumbnail;
    QImage compact = thumbnail.convertToFormat(QImage::Format_RGB888);
    return compact.isNull() ? thumbnail : compact;
}

QString copyStem(const Shot& shot, ShotFormat format, const Edit& edit) {
    QString stem = shot.name;
    if (format == ShotFormat::raw)
        stem += u" RAW"_s;
    stem += edit.crop ? u" crop"_s : u" edit"_s;
    return stem;
}

} // namespace

struct ImageRenderer::Private {
    RenderContext context;
    QColorSpace colorSpace{QColorSpace::DisplayP3};
    mutable BitmapCache baseCache{baseCacheLimit, context.resources()};
    mutable BitmapCache thumbnailCache{thumbnailCacheLimit, context.resources()};

    std::optional<QImage> developedRaw(const QString& url, int maxPixel, quint64 stamp) const {
        auto developed = RawDeveloper::developWithin(url, maxPixel, context.resources());
        if (!developed)
            return std::nullopt;
        rememberSize(url, developed->nativeSize, stamp);
        return developed->image;
    }

    // Upright pixel sizes already read, so that asking again (as the zoom
    // to actual size does on the main thread) reads no file.
    mutable std::mutex sizesMutex;
    mutable QHash<QString, QSize> sizes;
    // Not for a file forgotten since `stamp` (of the base cache) was taken.
    void rememberSize(const QString& url, QSize size, quint64 stamp) const {
        std::lock_guard lock(sizesMutex);
        if (baseCache.stamp() != stamp)
            return;
        if (sizes.size() >= thumbnailCacheLimit)
            sizes.clear();
        sizes.insert(url, size);
    }
    std::optional<QSize> rememberedSize(const QString& url) const {
        std::lock_guard lock(sizesMutex);
        const auto found = sizes.constFind(url);
        if (found == sizes.cend())
            return std::nullopt;
        return *found;
    }

    // Reads a file's thumbnail and caches it (unless the file was forgotten meanwhile).
    std::optional<QImage> readThumbnail(const QString& url, ThumbnailReader::EmbeddedPreview preview) const {
        const quint64 stamp = thumbnailCache.stamp();
        auto made = ThumbnailReader(context.resources()).read(url, thumbnailPixels, preview);
        if (!made || made->isNull())
            return std::nullopt;
        const QImage thumbnail = compactThumbnail(*made);
        thumbnailCache.insertUnlessRemovedSince(url, thumbnail, stamp);
        return thumbnail;
    }

    std::optional<QImage> downsampled(const QString& url, int maxPixel) const {
        auto decoded = JpegReader(context.resources()).readScaled(url, maxPixel);
        if (!decoded)
            return std::nullopt;
        return *std::move(decoded);
    }
};

ImageRenderer::ImageRenderer()
    : d(std::make_unique<Private>()) {}

ImageRenderer::~ImageRenderer() = default;

std::expected<QImage, RenderError> ImageRenderer::base(const QString& url, ShotFormat format) const {
    if (auto cached = d->baseCache.value(url))
        return *std::move(cached);
    return makeBase(url, format);
}

void ImageRenderer::prefetchBase(const QString& url, ShotFormat format) const {
    if (!d->baseCache.key(url))
        (void)makeBase(url, format);
}

std::expected<QImage, RenderError> ImageRenderer::makeBase(const QString& url, ShotFormat format) const {
    const quint64 stamp = d->baseCache.stamp();
    const std::optional<QImage> made = format == ShotFormat::raw ? d->developedRaw(url, screenPixels, stamp)
                                                                 : d->downsampled(url, screenPixels);
    if (!made || made->isNull())
        return std::unexpected(RenderError::unreadable(url));
    d->baseCache.insertUnlessRemovedSince(url, *made, stamp);
    return *made;
}

std::expected<QImage, RenderError> ImageRenderer::render(const QString& url, ShotFormat format,
                                                         const Edit& edit) const {
    auto bitmap = base(url, format);
    if (!bitmap || edit.isUnchanged())
        return bitmap;
    auto rendered = d->context.render(edit.apply(Image::fromBitmap(*bitmap)), d->colorSpace);
    if (!rendered)
        return std::unexpected(RenderError::unreadable(url));
    return *std::move(rendered);
}

std::expected<QImage, RenderError> ImageRenderer::fullResolution(const QString& url, ShotFormat format,
                                                                 const Edit& edit) const {
    std::optional<Image> image;
    if (format == ShotFormat::raw) {
        if (const auto developer = RawDeveloper::open(url))
            image = Image::fromRaw(developer->path(), developer->outputSize(), developer->scale());
    } else {
        image = Image::fromFile(url);
    }
    if (!image)
        return std::unexpected(RenderError::unreadable(url));
    auto rendered = d->context.render(edit.apply(*image), d->colorSpace);
    if (!rendered)
        return std::unexpected(RenderError::unreadable(url));
    return *std::move(rendered);
}

std::optional<QImage> ImageRenderer::thumbnail(const QString& url) const {
    if (auto cached = d->thumbnailCache.value(url))
        return cached;
    return d->readThumbnail(url, ThumbnailReader::EmbeddedPreview::allowed);
}

std::optional<QImage> ImageRenderer::decodedThumbnail(const QString& url) const {
    return d->readThumbnail(url, ThumbnailReader::EmbeddedPreview::ignored);
}

std::optional<QImage> ImageRenderer::cachedThumbnail(const QString& url) const {
    return d->thumbnailCache.value(url);
}

std::optional<qint64> ImageRenderer::cachedThumbnailKey(const QString& url) const {
    return d->thumbnailCache.key(url);
}

std::optional<QByteArray> ImageRenderer::jpegData(const QImage& bitmap, int maxPixel, double quality) const {
    if (bitmap.isNull() || maxPixel <= 0)
        return std::nullopt;
    Image image = Image::fromBitmap(bitmap);
    const double scale = double(maxPixel) / std::max(bitmap.width(), bitmap.height());
    if (scale < 1) {
        const auto scaled = image.applyingFilter(u"CILanczosScaleTransform",
                                                 {{u"inputScale"_s, scale}, {u"inputAspectRatio"_s, 1.0}});
        if (!scaled)
            return std::nullopt;
        image = *scaled;
    }
    auto encoded = d->context.jpegData(image, QColorSpace(QColorSpace::SRgb), quality);
    if (!encoded)
        return std::nullopt;
    return *std::move(encoded);
}

std::expected<QString, RenderError> ImageRenderer::exportCopy(const Shot& shot, ShotFormat format,
                                                              const Edit& edit, const QString& folder) const {
    const std::optional<QString> url = shot.files.url(format);
    if (!url)
        return std::unexpected(RenderError::unreadable(shot.thumbnailSource()));
    auto image = fullResolution(*url, format, edit);
    if (!image)
        return std::unexpected(image.error());

    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error) {
        return std::unexpected(RenderError::fileSystem(u"Can't create the folder \u201C"_s +
                                                       QDir(folder).dirName() + u"\u201D: "_s +
                                                       QString::fromLocal8Bit(error.message()) + u'.'));
    }
    const QString stem = copyStem(shot, format, edit);
    const auto nameFor = [&stem](int n) -> QString {
        if (n == 1)
            return stem + u".jpg"_s;
        return stem + u' ' + QString::number(n) + u".jpg"_s;
    };
    // The name the copy is going to, for a failure before it has one; the
    // name it is finally linked under is chosen again when it is complete.
    QString destination;
    for (int n = 1; destination.isEmpty() || QFileInfo::exists(destination); ++n)
        destination = QDir(folder).filePath(nameFor(n));

    auto file = ExclusiveFile::create(folder);
    if (!file)
        return std::unexpected(RenderError::cannotWrite(destination));
    ImageDestination writer(file->fd(), d->context.resources().runner);
    writer.addImage(*image, exportProperties(*url, image->size()), exportQuality);
    if (!writer.finalize())
        return std::unexpected(RenderError::cannotWrite(destination));
    auto published = file->publish(nameFor);
    if (!published)
        return std::unexpected(RenderError::cannotWrite(
            published.error().path.isEmpty() ? destination : published.error().path));
    return *std::move(published);
}

std::optional<QSize> ImageRenderer::pixelSize(const QString& url) const {
    if (auto remembered = d->rememberedSize(url))
        return remembered;
    const quint64 stamp = d->baseCache.stamp();
    const auto properties = ImageProperties::readHeader(url);
    if (!properties || properties->pixelSize.isEmpty())
        return std::nullopt;
    d->rememberSize(url, properties->uprightSize(), stamp);
    return properties->uprightSize();
}

void ImageRenderer::forget(const QStringList& urls) const {
    for (const QString& url : urls) {
        d->baseCache.remove(url);
        d->thumbnailCache.remove(url);
        std::lock_guard lock(d->sizesMutex);
        d->sizes.remove(url);
    }
}

void ImageRenderer::releaseSpareMemory() const {
    d->context.resources().pool->trim(screenWorkBytes);
}

size_t ImageRenderer::spareBytes() const {
    return d->context.resources().pool->retainedBytes();
}
