#include "BitmapCache.h"

std::optional<QImage> BitmapCache::value(const QString& path) {
    const std::lock_guard lock(mutex_);
    const auto found = index_.constFind(path);
    if (found == index_.cend())
        return std::nullopt;
    entries_.splice(entries_.begin(), entries_, *found);
    return entries_.front().second;
}

quint64 BitmapCache::stamp() const {
    const std::lock_guard lock(mutex_);
    return removals_;
}

void BitmapCache::insert(const QString& path, const QImage& bitmap) {
    insertUnlessRemovedSince(path, bitmap, stamp());
}

void BitmapCache::insertUnlessRemovedSince(const QString& path, const QImage& bitmap, quint64 stamp) {
    // The evicted bitmap may hold the last reference to a large buffer; let
    // it go after the lock is released.
    QImage evicted;
    const std::lock_guard lock(mutex_);
    if (removals_ != stamp)
        return;
    if (const auto found = index_.constFind(path); found != index_.cend()) {
        evicted = std::exchange((*found)->second, bitmap);
        entries_.splice(entries_.begin(), entries_, *found);
        return;
    }
    entries_.emplace_front(path, bitmap);
    index_.insert(path, entries_.begin());
    if (int(index_.size()) > limit_) {
        evicted = std::move(entries_.back().second);
        index_.remove(entries_.back().first);
        entries_.pop_back();
    }
}

void BitmapCache::remove(const QString& path) {
    QImage removed;
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
