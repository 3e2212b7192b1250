#include "Image.h"

#include "imaging/codec/JpegDecoder.h"
#include "imaging/edit/NamedFilter.h"
#include "imaging/pixels/Orientation.h"

Image Image::fromBitmap(const QImage& bitmap) {
    Node node;
    node.kind = Node::Kind::bitmap;
    node.bitmap = bitmap;
    node.extent = {0, 0, double(bitmap.width()), double(bitmap.height())};
    return Image(std::make_shared<const Node>(std::move(node)));
}

std::optional<Image> Image::fromFile(const QString& path) {
    const auto decoder = JpegDecoder::openFile(path);
    if (!decoder)
        return std::nullopt;
    const QSize upright = Orientation::uprightSize((*decoder)->size(), (*decoder)->orientation());
    Node node;
    node.kind = Node::Kind::jpegFile;
    node.path = path;
    node.extent = {0, 0, double(upright.width()), double(upright.height())};
    return Image(std::make_shared<const Node>(std::move(node)));
}

Image Image::fromRaw(const QString& path, QSize uprightSize, double scale) {
    Node node;
    node.kind = Node::Kind::raw;
    node.path = path;
    node.rawScale = scale;
    node.extent = {0, 0, double(uprightSize.width()), double(uprightSize.height())};
    return Image(std::make_shared<const Node>(std::move(node)));
}

ImageRect Image::extent() const {
    return node_ ? node_->extent : ImageRect{};
}

Image Image::adding(Node node) const {
    node.input = node_;
    return Image(std::make_shared<const Node>(std::move(node)));
}

std::optional<Image> Image::applyingFilter(QStringView name, const QVariantMap& parameters) const {
    if (!node_)
        return std::nullopt;
    const auto effect = NamedFilter::make(name, parameters);
    if (!effect)
        return std::nullopt;
    Node node;
    if (effect->scaleX) {
        node.kind = Node::Kind::scale;
        node.scaleX = *effect->scaleX;
        node.scaleY = *effect->scaleY;
        const ImageRect e = extent();
        node.extent = {e.x * node.scaleX, e.y * node.scaleY, e.width * node.scaleX, e.height * node.scaleY};
    } else {
        node.kind = Node::Kind::color;
        node.chain = effect->chain;
        node.extent = extent();
    }
    return adding(std::move(node));
}

Image Image::cropped(const ImageRect& rect) const {
    Node node;
    node.kind = Node::Kind::crop;
    node.rect = rect;
    node.extent = extent().intersected(rect);
    return adding(std::move(node));
}

Image Image::translated(double dx, double dy) const {
    Node node;
    node.kind = Node::Kind::translate;
    node.dx = dx;
    node.dy = dy;
    const ImageRect e = extent();
    node.extent = {e.x + dx, e.y + dy, e.width, e.height};
    return adding(std::move(node));
}
