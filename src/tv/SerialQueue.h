#pragma once

#include "platform/Background.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <latch>
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
        Background::post(context_, std::forward<F>(work));
    }

    // Runs `work` on the queue and waits for its result.
    template <typename F>
    auto sync(F&& work) const -> std::invoke_result_t<F> {
        using R = std::invoke_result_t<F>;
        if (isCurrent())
            return work();
        // The result travels in a block of its own rather than on the caller's
        // stack, allocated before the hand-over.
        struct Call {
            std::optional<std::conditional_t<std::is_void_v<R>, bool, R>> result;
            std::latch done{1};
        };
        const auto call = std::make_shared<Call>();
        post([call, &work] {
            if constexpr (std::is_void_v<R>) {
                work();
            } else {
                call->result.emplace(work());
            }
            call->done.count_down();
        });
        call->done.wait();
        if constexpr (!std::is_void_v<R>)
            return std::move(*call->result);
    }

private:
    std::unique_ptr<QThread> thread_;
    Background::Mailbox* context_ = nullptr;
};
