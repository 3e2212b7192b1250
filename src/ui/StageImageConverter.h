#pragma once

#include <QImage>
#include <QObject>

#include <functional>

class ViewerStore;

// Keeps screen-ready copies of the store's stage and detail images. Each new
// Display P3 bitmap is converted for the screen once, on a worker thread, never
// per paint; until it lands the previous picture stays. Main thread.
class StageImageConverter : public QObject {
    Q_OBJECT
public:
    using Convert = std::function<QImage(const QImage& displayP3)>;

    StageImageConverter(ViewerStore& store, Convert convert, QObject* parent = nullptr);

    const QImage& stage() const { return stage_; }
    const QImage& detail() const { return detail_; }

Q_SIGNALS:
    void imagesChanged();

private:
    void startConversion(const QImage& source, QImage* target, quint64* generation);

    ViewerStore& store_;
    Convert convert_;
    QImage stage_;
    QImage detail_;
    quint64 stageGeneration_ = 0;
    quint64 detailGeneration_ = 0;
};
