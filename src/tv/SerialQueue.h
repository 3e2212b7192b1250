#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// A thread of its own with an event loop, standing for one serial queue: work
// posted to it runs in order, one item at a time. Objects that must live on the
// queue are created and destroyed inside `sync`. The destructor quits the loop
// and waits for the thread. Synchronous calls from the queue's own thread run
// in place, so they never wait on themselves; the queue never waits on another
// thread, so a synchronous call from outside cannot deadlock.
class SerialQueue {
public:
    explicit SerialQueue(const QString& label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // An object living on the queue's thread: the context of queued calls.
    QObject* context() const { return context_; }
    bool isCurrent() const { return QThread::currentThread() == thread_.get(); }

    template <typename F>
    void post(F&& work) const {
        QMetaObject::invokeMethod(context_, std::forward<F>(work), Qt::QueuedConnection);
    }

    // Runs `work` on the queue and waits for its result.
    template <typename F>
    auto sync(F&& work) const -> std::invoke_result_t<F> {
        using R = std::invoke_result_t<F>;
        if (isCurrent())
            return work();
        if constexpr (std::is_void_v<R>) {
            QMetaObject::invokeMethod(context_, std::forward<F>(work), Qt::BlockingQueuedConnection);
        } else {
            std::optional<R> result;
            QMetaObject::invokeMethod(
                context_, [&] { result.emplace(work()); }, Qt::BlockingQueuedConnection);
            return std::move(*result);
        }
    }

private:
    std::unique_ptr<QThread> thread_;
    QObject* context_ = nullptr;
};
