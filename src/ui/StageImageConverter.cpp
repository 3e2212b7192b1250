#include "StageImageConverter.h"

#include "store/ViewerStore.h"

#include <QtConcurrent/QtConcurrentRun>

StageImageConverter::StageImageConverter(ViewerStore& store, Convert convert, QObject* parent)
    : QObject(parent)
    , store_(store)
    , convert_(std::move(convert)) {
    connect(&store_, &ViewerStore::displayedImageChanged, this,
            [this] { startConversion(store_.displayedImage(), &stage_, &stageGeneration_); });
    connect(&store_, &ViewerStore::detailImageChanged, this,
            [this] { startConversion(store_.detailImage(), &detail_, &detailGeneration_); });
    startConversion(store_.displayedImage(), &stage_, &stageGeneration_);
}

void StageImageConverter::startConversion(const QImage& source, QImage* target, quint64* generation) {
    const quint64 mine = ++*generation;
    if (source.isNull()) {
        *target = QImage();
        Q_EMIT imagesChanged();
        return;
    }
    QtConcurrent::run(store_.pools().userInitiated(), convert_, source)
        .then(this, [this, target, generation, mine](const QImage& converted) {
            if (mine != *generation)
                return; // a newer image came meanwhile
            *target = converted;
            Q_EMIT imagesChanged();
        });
}
