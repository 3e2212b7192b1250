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
// that failed is not asked for again until its list is shown again.
// Pictures are made for the cell in device pixels. A camera's embedded
// thumbnail too small for the cell (a 160-pixel one in a 2x cell) is shown at
// once and replaced by one decoded from the photo in the background, one at a
// time and after every pending first load, newest request first; requests for
// cells long scrolled past are dropped. Main thread.
class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    using Convert = std::function<QImage(const QImage& displayP3)>;

    ThumbnailLoader(const ImageRenderer& renderer, QThreadPool& pool, Convert convert,
                    QObject* parent = nullptr);

    // The best picture so far for a file, cropped to fill the cell; null until loaded.
    QImage image(const QString& url);
    // Asks for a file's picture, or a sharper one or one made for a new cell
    // size; nothing happens if it is final, in flight or failed.
    void request(const QString& url);
    // image() and request() with one lookup, for painting a cell.
    QImage paintable(const QString& url);
    // Lets files that failed be loaded again (their list is shown anew).
    void retryFailed();
    void setCellSize(const QSize& deviceCell) { cell_ = deviceCell; }

    int loadsStarted() const { return started_; }
    int pending() const { return int(queue_.size() + sharpenQueue_.size()) + running_; }

Q_SIGNALS:
    void loaded(const QString& url);

private:
    // A picture ready to paint and the cache key of the renderer's bitmap it was made from.
    struct Prepared {
        qint64 source = 0;
        QImage image;
        QSize cell;
        // No sharper picture is to be had (big enough, or decoded already).
        bool final = false;
    };
    enum class Job { load, sharpen };

    const Prepared* valid(const QString& url);
    void request(const QString& url, const Prepared* prepared);
    void startNext();
    void start(const QString& url, Job job);

    const ImageRenderer& renderer_;
    QThreadPool& pool_;
    Convert convert_;
    QSize cell_{108, 72};
    QCache<QString, Prepared> prepared_;
    QSet<QString> inFlight_;
    QSet<QString> failed_;
    QStringList queue_;
    QStringList sharpenQueue_;
    int running_ = 0;
    bool sharpening_ = false;
    int started_ = 0;
};
