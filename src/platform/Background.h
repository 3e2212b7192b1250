#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QRunnable>
#include <QThreadPool>

#include <latch>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// Work handed from one thread to another: to a thread pool, back to the main
// thread, or to the event loop of a `Mailbox`. Qt's own locking is invisible to
// ThreadSanitizer (Qt is not built with it), so each hand-over is marked for
// it here: what the sending thread wrote before handing over is seen by the
// receiving thread. Every object crossing threads is built before the mark and
// only read after it, which Qt's own futures and queued calls do not allow.
class Background {
public:
    // Finished when the work has run (or was dropped from its pool unrun) and
    // everything it held is released.
    using Done = std::shared_ptr<std::latch>;

    // An object whose thread runs what is posted to it, in order.
    class Mailbox : public QObject {
    public:
        using QObject::QObject;

    protected:
        bool event(QEvent* event) override;
    };

    // Runs `work` on `pool`.
    template <typename Work>
    static Done run(QThreadPool* pool, Work work);

    // Runs `work` on `pool`, then `then` with its result on the main thread,
    // unless `context` is gone by then.
    template <typename Work, typename Then>
    static Done run(QThreadPool* pool, Work work, QObject* context, Then then);

    // Calls `call` on the thread of `mailbox`, after what was posted before.
    template <typename Call>
    static void post(Mailbox* mailbox, Call call);

    // Calls `call` on the main thread, unless `context` is gone by then.
    template <typename Call>
    static void toMainThread(QPointer<QObject> context, Call call);

    // The marks themselves, for hand-overs made some other way: whatever the
    // calling thread wrote before `sent(token)` is seen by a thread after its
    // `received(token)`. They cost nothing outside ThreadSanitizer builds.
    static void sent(const void* token);
    static void received(const void* token);

private:
    class Delivery : public QEvent {
    public:
        Delivery();
        virtual void deliver() = 0;
    };

    template <typename Call>
    class DeliveryOf final : public Delivery {
    public:
        explicit DeliveryOf(Call call)
            : call_(std::move(call)) {}
        void deliver() override { call_(); }

    private:
        Call call_;
    };

    template <typename Work>
    class Task final : public QRunnable {
    public:
        Task(Work work, Done done)
            : work_(std::move(work))
            , done_(std::move(done)) {}
        ~Task() override { done_->count_down(); }
        void run() override {
            received(this);
            work_();
        }

    private:
        Work work_;
        Done done_;
    };

    static void postDelivery(Mailbox* mailbox, Delivery* delivery);
    static Mailbox* mainMailbox();
};

#if defined(__SANITIZE_THREAD__)
#define ZV_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZV_THREAD_SANITIZER 1
#endif
#endif

#ifdef ZV_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
inline void Background::sent(const void* token) {
    __tsan_release(const_cast<void*>(token));
}
inline void Background::received(const void* token) {
    __tsan_acquire(const_cast<void*>(token));
}
#else
inline void Background::sent(const void*) {}
inline void Background::received(const void*) {}
#endif

template <typename Work>
Background::Done Background::run(QThreadPool* pool, Work work) {
    auto done = std::make_shared<std::latch>(1);
    auto* task = new Task<Work>(std::move(work), done);
    sent(task);
    pool->start(task);
    return done;
}

template <typename Work, typename Then>
Background::Done Background::run(QThreadPool* pool, Work work, QObject* context, Then then) {
    return run(pool, [work = std::move(work), then = std::move(then),
                      context = QPointer<QObject>(context)]() mutable {
        // The context is only looked at on the main thread.
        using Result = std::invoke_result_t<Work&>;
        if constexpr (std::is_void_v<Result>) {
            work();
            toMainThread(std::move(context), std::move(then));
        } else {
            toMainThread(std::move(context),
                         [then = std::move(then), result = work()]() mutable { then(std::move(result)); });
        }
    });
}

template <typename Call>
void Background::post(Mailbox* mailbox, Call call) {
    postDelivery(mailbox, new DeliveryOf<Call>(std::move(call)));
}

template <typename Call>
void Background::toMainThread(QPointer<QObject> context, Call call) {
    post(mainMailbox(), [context = std::move(context), call = std::move(call)]() mutable {
        if (context)
            call();
    });
}
