#include "AvahiQtPoll.h"

#include <QSocketNotifier>
#include <QTimer>

#include <avahi-common/watch.h>

#include <sys/time.h>

#include <algorithm>
#include <memory>

// Avahi may free a watch or a timeout from inside its own callback; the
// object then waits until the callback has returned.
struct AvahiWatch {
    int fd = -1;
    AvahiWatchEvent lastEvent = AvahiWatchEvent(0);
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    std::unique_ptr<QSocketNotifier> in;
    std::unique_ptr<QSocketNotifier> out;
    bool inCallback = false;
    bool freed = false;
};

struct AvahiTimeout {
    std::unique_ptr<QTimer> timer = std::make_unique<QTimer>();
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
    bool inCallback = false;
    bool freed = false;
};

namespace {

void releaseNotifier(std::unique_ptr<QSocketNotifier>& notifier) {
    notifier->setEnabled(false);
    notifier.release()->deleteLater();
}

void fire(AvahiWatch* watch, AvahiWatchEvent event) {
    watch->lastEvent = event;
    watch->inCallback = true;
    watch->callback(watch, watch->fd, event, watch->userdata);
    watch->inCallback = false;
    if (watch->freed) {
        releaseNotifier(watch->in);
        releaseNotifier(watch->out);
        delete watch;
        return;
    }
    watch->lastEvent = AvahiWatchEvent(0);
}

void watchUpdate(AvahiWatch* watch, AvahiWatchEvent events) {
    watch->in->setEnabled(events & AVAHI_WATCH_IN);
    watch->out->setEnabled(events & AVAHI_WATCH_OUT);
}

AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent events, AvahiWatchCallback callback,
                     void* userdata) {
    auto* watch = new AvahiWatch;
    watch->fd = fd;
    watch->callback = callback;
    watch->userdata = userdata;
    watch->in = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    watch->out = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    QObject::connect(watch->in.get(), &QSocketNotifier::activated, watch->in.get(),
                     [watch] { fire(watch, AVAHI_WATCH_IN); });
    QObject::connect(watch->out.get(), &QSocketNotifier::activated, watch->out.get(),
                     [watch] { fire(watch, AVAHI_WATCH_OUT); });
    watchUpdate(watch, events);
    return watch;
}

AvahiWatchEvent watchGetEvents(AvahiWatch* watch) {
    return watch->lastEvent;
}

void watchFree(AvahiWatch* watch) {
    if (watch->inCallback) {
        watch->freed = true;
        watch->in->setEnabled(false);
        watch->out->setEnabled(false);
        return;
    }
    releaseNotifier(watch->in);
    releaseNotifier(watch->out);
    delete watch;
}

void timeoutUpdate(AvahiTimeout* timeout, const struct timeval* when) {
    if (!when) {
        timeout->timer->stop();
        return;
    }
    struct timeval now {};
    gettimeofday(&now, nullptr);
    const qint64 ms =
        (qint64(when->tv_sec) - now.tv_sec) * 1000 + (qint64(when->tv_usec) - now.tv_usec) / 1000;
    timeout->timer->start(int(std::clamp<qint64>(ms, 0, 24 * 3600 * 1000)));
}

AvahiTimeout* timeoutNew(const AvahiPoll*, const struct timeval* when, AvahiTimeoutCallback callback,
                         void* userdata) {
    auto* timeout = new AvahiTimeout;
    timeout->callback = callback;
    timeout->userdata = userdata;
    timeout->timer->setSingleShot(true);
    QObject::connect(timeout->timer.get(), &QTimer::timeout, timeout->timer.get(), [timeout] {
        timeout->inCallback = true;
        timeout->callback(timeout, timeout->userdata);
        timeout->inCallback = false;
        if (timeout->freed) {
            timeout->timer.release()->deleteLater();
            delete timeout;
        }
    });
    timeoutUpdate(timeout, when);
    return timeout;
}

void timeoutFree(AvahiTimeout* timeout) {
    if (timeout->inCallback) {
        timeout->freed = true;
        timeout->timer->stop();
        return;
    }
    delete timeout;
}

} // namespace

AvahiQtPoll::AvahiQtPoll()
    : api_(std::make_unique<AvahiPoll>()) {
    api_->userdata = this;
    api_->watch_new = watchNew;
    api_->watch_update = watchUpdate;
    api_->watch_get_events = watchGetEvents;
    api_->watch_free = watchFree;
    api_->timeout_new = timeoutNew;
    api_->timeout_update = timeoutUpdate;
    api_->timeout_free = timeoutFree;
}

AvahiQtPoll::~AvahiQtPoll() = default;
