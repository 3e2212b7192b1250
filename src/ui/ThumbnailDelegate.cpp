#include "ThumbnailDelegate.h"

#include "Appearance.h"
#include "ShotListModel.h"
#include "ThumbnailLoader.h"

#include "card/Shot.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

using namespace Qt::StringLiterals;

ThumbnailDelegate::ThumbnailDelegate(ThumbnailLoader& loader, QObject* parent)
    : QStyledItemDelegate(parent)
    , loader_(loader) {}

QSize ThumbnailDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return kCellSize;
}

QString ThumbnailDelegate::badgeText(const Shot& shot) {
    switch (shot.files.kind()) {
    case ShotFiles::Case::both:
        return u"J+R"_s;
    case ShotFiles::Case::rawOnly:
        return u"RAW"_s;
    case ShotFiles::Case::jpegOnly:
        break;
    }
    return {};
}

void ThumbnailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const Shot shot = index.data(ShotListModel::ShotRole).value<Shot>();
    const bool current = index.data(ShotListModel::IsCurrentRole).toBool();
    const QString url = shot.thumbnailSource();
    // Pictures are made for the cell in the pixels of the screen painted on,
    // so they stay sharp when the window moves to a screen of another ratio.
    const qreal ratio = painter->device()->devicePixelRatioF();
    loader_.setCellSize(QSize(qCeil(kCellSize.width() * ratio), qCeil(kCellSize.height() * ratio)));
    const QImage image = loader_.paintable(url);

    const QRectF cell(QRectF(option.rect).center() -
                          QPointF(kCellSize.width() / 2.0, kCellSize.height() / 2.0),
                      QSizeF(kCellSize));
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setOpacity(current ? 1.0 : kOtherCellOpacity);

    QPainterPath clip;
    clip.addRoundedRect(cell, kCornerRadius, kCornerRadius);
    painter->setClipPath(clip);
    if (image.isNull())
        painter->fillRect(cell, Appearance::grey(0.15));
    else
        painter->drawImage(cell, image);

    const QString badge = badgeText(shot);
    if (!badge.isEmpty()) {
        QFont font = Appearance::monospaced(Appearance::font(Appearance::TextStyle::caption, QFont::Bold));
        font.setPixelSize(9);
        painter->setFont(font);
        const QFontMetricsF metrics(font);
        const QSizeF size(metrics.horizontalAdvance(badge) + 8, metrics.height() + 2);
        const QRectF box(cell.right() - 3 - size.width(), cell.bottom() - 3 - size.height(), size.width(),
                         size.height());
        painter->setPen(Qt::NoPen);
        painter->setBrush(Appearance::black(0.65));
        painter->drawRoundedRect(box, 3, 3);
        painter->setPen(Qt::white);
        painter->drawText(box, Qt::AlignCenter, badge);
    }

    if (current) {
        painter->setClipping(false);
        painter->setPen(QPen(Qt::white, 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(cell.adjusted(1, 1, -1, -1), kCornerRadius - 1, kCornerRadius - 1);
    }
    painter->restore();
}
