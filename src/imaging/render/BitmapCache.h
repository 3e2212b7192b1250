#pragma once

#include "imaging/pixels/CompactImage.h"

#include <QHash>
#include <QImage>
#include <QString>

#include <list>
#include <mutex>
#include <optional>
#include <utility>

// A count-limited map from file path to bitmap, least recently used evicted
// first. Thread-safe: the lock covers only the map itself, never the work
// that makes a bitmap, so two threads that miss the same path both compute it
// and the later store wins. A bitmap made from a file that was removed from
// the cache meanwhile (the file changed or went away) is not stored: take a
// `stamp` before making it and store it with `insertUnlessRemovedSince`.
// Bitmaps are held compact (see CompactImage), made so and back outside the lock.
class BitmapCache {
public:
    explicit BitmapCache(int limit, PixelResources resources = {})
        : limit_(limit)
        , resources_(std::move(resources)) {}

    // The bitmap for `path`, which becomes the most recently used.
    std::optional<QImage> value(const QString& path);
    // What identifies the bitmap held for `path` (it changes when another
    // takes its place), without making the bitmap; it becomes the most recently used.
    std::optional<qint64> key(const QString& path);
    void insert(const QString& path, const QImage& bitmap);
    // Counts removals: a bitmap made after taking the stamp is stored only if
    // no path was removed since.
    quint64 stamp() const;
    void insertUnlessRemovedSince(const QString& path, const QImage& bitmap, quint64 stamp);
    void remove(const QString& path);
    int count() const;
    int limit() const { return limit_; }

private:
    using Entry = std::pair<QString, CompactImage>;

    const int limit_;
    const PixelResources resources_;
    // A standard mutex: the thread sanitizer sees what it orders, unlike QMutex.
    mutable std::mutex mutex_;
    std::list<Entry> entries_; // most recently used first
    QHash<QString, std::list<Entry>::iterator> index_;
    quint64 removals_ = 0;
};
