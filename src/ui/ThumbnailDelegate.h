#pragma once

#include "card/Shot.h"

#include <QStyledItemDelegate>

class ThumbnailLoader;

// Paints one filmstrip cell: the thumbnail cropped to 108 x 72 (a grey
// placeholder until it loads), the "J+R" or "RAW" badge, and for the current
// shot a white border at full opacity (other cells at 62 %). Painting a cell
// is what asks for its thumbnail, so only cells in view load.
class ThumbnailDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr QSize kCellSize{108, 72};
    static constexpr double kCornerRadius = 4;
    static constexpr double kOtherCellOpacity = 0.62;

    explicit ThumbnailDelegate(ThumbnailLoader& loader, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // "J+R", "RAW", or nothing for a JPEG-only shot.
    static QString badgeText(const Shot& shot);

private:
    ThumbnailLoader& loader_;
};
