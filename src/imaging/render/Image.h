#pragma once

#include "imaging/color/ColorChain.h"
#include "imaging/edit/ImageRect.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringView>
#include <QVariantMap>

#include <memory>
#include <optional>

// An image as a description of work, not pixels: a source (a bitmap, a JPEG
// file with its orientation applied, a RAW development) and a chain of
// operations on it (named filters, crops, translations, Lanczos scaling).
// Nothing is decoded or computed until a RenderContext renders it; extent()
// answers from headers alone. Coordinates are image coordinates (ImageRect:
// y upwards). Immutable; copies share their description, and every operation
// makes a new value, so an image can be handed between threads freely.
class Image {
public:
    struct Node;

    Image() = default;
    // The bitmap's colour space is honoured; none means sRGB.
    static Image fromBitmap(const QImage& bitmap);
    // A JPEG file, upright. Reads only its header; nothing when that fails.
    static std::optional<Image> fromFile(const QString& path);
    // A RAW file developed at `scale` of its native size (see RawDeveloper).
    static Image fromRaw(const QString& path, QSize uprightSize, double scale);

    bool isNull() const { return !node_; }
    ImageRect extent() const;

    // A named filter with its parameters (see NamedFilter); nothing for an
    // unknown name or parameters of the wrong type.
    std::optional<Image> applyingFilter(QStringView name, const QVariantMap& parameters = {}) const;
    Image cropped(const ImageRect& rect) const;
    Image translated(double dx, double dy) const;

    // True when both are the very same value (not merely equal work).
    bool isSameAs(const Image& other) const { return node_ == other.node_; }

    // The description, for the rendering context.
    const Node* node() const { return node_.get(); }

    struct Node {
        enum class Kind { bitmap, jpegFile, raw, color, crop, translate, scale };
        Kind kind = Kind::bitmap;
        std::shared_ptr<const Node> input;
        ImageRect extent;

        QImage bitmap;       // bitmap
        QString path;        // jpegFile, raw
        double rawScale = 1; // raw
        ColorChain chain;    // color
        ImageRect rect;      // crop
        double dx = 0;       // translate
        double dy = 0;
        double scaleX = 1; // scale
        double scaleY = 1;
    };

private:
    explicit Image(std::shared_ptr<const Node> node)
        : node_(std::move(node)) {}
    Image adding(Node node) const;

    std::shared_ptr<const Node> node_;
};
