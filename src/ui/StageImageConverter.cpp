#include "StageImageConverter.h"

#include "platform/Background.h"
#include "store/ViewerStore.h"

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
    Background::run(
        store_.pools().userInitiated(), [convert = convert_, source] { return convert(source); }, this,
        [this, target, generation, mine](const QImage& converted) {
            if (mine != *generation)
                return; // a newer image came meanwhile
            *target = converted;
            Q_EMIT imagesChanged();
        });
}
