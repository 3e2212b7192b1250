#pragma once

#include <QAbstractListModel>

class ViewerStore;

// The store's shots as a list model for the filmstrip, with the current one marked.
class ShotListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { ShotRole = Qt::UserRole + 1, IsCurrentRole, ThumbnailUrlRole };

    explicit ShotListModel(ViewerStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    ViewerStore& store_;
    int current_ = 0;
};
