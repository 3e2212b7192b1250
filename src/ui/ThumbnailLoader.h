#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QStringList>

#include <functional>

class ImageRenderer;
class QThreadPool;

// Loads filmstrip thumbnails through the renderer's thumbnail cache on the
// utility pool and prepares them to paint, cropped to the cell. The renderer's
// cache is the one record of which thumbnails exist: a prepared picture is
// shown only while the renderer still holds the bitmap it was made from, so a
// file the renderer forgot (trashed, replaced) or evicted is loaded afresh.
// Requests are served newest first (last in, first out), so after a fling the
// cells now in view fill first; earlier requests still complete afterwards and
// warm the cache. A file is never asked for while its load runs, and a file
// that failed is not asked for again until its list is shown again. Main thread.
class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    using Convert = std::function<QImage(const QImage& displayP3)>;

    ThumbnailLoader(const ImageRenderer& renderer, QThreadPool& pool, Convert convert,
                    QObject* parent = nullptr);

    // The picture for a file, cropped to fill `cell` device pixels; null until loaded.
    QImage image(const QString& url);
    // Asks for a file's picture; nothing happens if it is ready, in flight or failed.
    void request(const QString& url);
    // Lets files that failed be loaded again (their list is shown anew).
    void retryFailed();
    void setCellSize(const QSize& deviceCell) { cell_ = deviceCell; }

    int loadsStarted() const { return started_; }
    int pending() const { return int(queue_.size()) + running_; }

Q_SIGNALS:
    void loaded(const QString& url);

private:
    // A picture ready to paint and the cache key of the renderer's bitmap it was made from.
    struct Prepared {
        qint64 source = 0;
        QImage image;
    };

    void startNext();

    const ImageRenderer& renderer_;
    QThreadPool& pool_;
    Convert convert_;
    QSize cell_{108, 72};
    QCache<QString, Prepared> prepared_;
    QSet<QString> inFlight_;
    QSet<QString> failed_;
    QStringList queue_;
    int running_ = 0;
    int started_ = 0;
};
