#include "BitmapCache.h"

std::optional<QImage> BitmapCache::value(const QString& path) {
    CompactImage held;
    {
        const std::lock_guard lock(mutex_);
        const auto found = index_.constFind(path);
        if (found == index_.cend())
            return std::nullopt;
        entries_.splice(entries_.begin(), entries_, *found);
        held = entries_.front().second;
    }
    QImage bitmap = held.image(resources_);
    if (bitmap.isNull())
        return std::nullopt;
    return bitmap;
}

std::optional<qint64> BitmapCache::key(const QString& path) {
    const std::lock_guard lock(mutex_);
    const auto found = index_.constFind(path);
    if (found == index_.cend())
        return std::nullopt;
    entries_.splice(entries_.begin(), entries_, *found);
    return entries_.front().second.key();
}

quint64 BitmapCache::stamp() const {
    const std::lock_guard lock(mutex_);
    return removals_;
}

void BitmapCache::insert(const QString& path, const QImage& bitmap) {
    insertUnlessRemovedSince(path, bitmap, stamp());
}

void BitmapCache::insertUnlessRemovedSince(const QString& path, const QImage& bitmap, quint64 stamp) {
    const CompactImage compact = CompactImage::from(bitmap, resources_);
    // The evicted bitmap may hold the last reference to a large buffer; let
    // it go after the lock is released.
    CompactImage evicted;
    const std::lock_guard lock(mutex_);
    if (removals_ != stamp)
        return;
    if (const auto found = index_.constFind(path); found != index_.cend()) {
        evicted = std::exchange((*found)->second, compact);
        entries_.splice(entries_.begin(), entries_, *found);
        return;
    }
    entries_.emplace_front(path, compact);
    index_.insert(path, entries_.begin());
    if (int(index_.size()) > limit_) {
        evicted = std::move(entries_.back().second);
        index_.remove(entries_.back().first);
        entries_.pop_back();
    }
}

void BitmapCache::remove(const QString& path) {
    CompactImage removed;
    const std::lock_guard lock(mutex_);
    // Counted even when absent: the path's bitmap may be in the making.
    ++removals_;
    const auto found = index_.constFind(path);
    if (found == index_.cend())
        return;
    removed = std::move((*found)->second);
    entries_.erase(*found);
    index_.erase(found);
}

int BitmapCache::count() const {
    const std::lock_guard lock(mutex_);
    return int(index_.size());
}
