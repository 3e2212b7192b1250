#include "ShotListModel.h"

#include "store/ViewerStore.h"

ShotListModel::ShotListModel(ViewerStore& store, QObject* parent)
    : QAbstractListModel(parent)
    , store_(store)
    , current_(store.currentIndex()) {
    connect(&store_, &ViewerStore::shotsChanged, this, [this] {
        beginResetModel();
        current_ = store_.currentIndex();
        endResetModel();
    });
    connect(&store_, &ViewerStore::currentIndexChanged, this, [this] {
        const int previous = current_;
        current_ = store_.currentIndex();
        for (int row : {previous, current_}) {
            if (row >= 0 && row < rowCount())
                Q_EMIT dataChanged(index(row), index(row), {IsCurrentRole});
        }
    });
}

int ShotListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(store_.shots().size());
}

QVariant ShotListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= store_.shots().size())
        return {};
    const Shot& shot = store_.shots()[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return shot.name;
    case ShotRole:
        return QVariant::fromValue(shot);
    case IsCurrentRole:
        return index.row() == current_;
    case ThumbnailUrlRole:
        return shot.thumbnailSource();
    default:
        return {};
    }
}
