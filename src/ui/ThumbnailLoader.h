#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QStringList>

#include <functional>

class ImageRenderer;
class QThreadPool;

// Loads filmstrip thumbnails through the renderer's thumbnail cache on the
// utility pool and keeps them ready to paint, cropped to the cell. Requests are
// served newest first (last in, first out), so after a fling the cells now in
// view fill first; earlier requests still complete afterwards and warm the
// cache. Each file is loaded at most once until the list is reset. Main thread.
class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    using Convert = std::function<QImage(const QImage& displayP3)>;

    ThumbnailLoader(const ImageRenderer& renderer, QThreadPool& pool, Convert convert,
                    QObject* parent = nullptr);

    // The picture for a file, cropped to fill `cell` device pixels; null until loaded.
    QImage image(const QString& url) const { return images_.value(url); }
    // Asks for a file's picture; nothing happens if it is loaded, queued or failed.
    void request(const QString& url);
    // Forgets every picture and request (a new list of shots).
    void reset();
    void setCellSize(const QSize& deviceCell) { cell_ = deviceCell; }

    int loadsStarted() const { return started_; }
    int pending() const { return int(queue_.size()) + running_; }

Q_SIGNALS:
    void loaded(const QString& url);

private:
    void startNext();

    const ImageRenderer& renderer_;
    QThreadPool& pool_;
    Convert convert_;
    QSize cell_{108, 72};
    QHash<QString, QImage> images_;
    QSet<QString> requested_;
    QStringList queue_;
    int running_ = 0;
    int started_ = 0;
    quint64 generation_ = 0;
};
