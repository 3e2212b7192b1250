#include "SerialQueue.h"

SerialQueue::SerialQueue(const QString& label)
    : thread_(std::make_unique<QThread>()) {
    thread_->setObjectName(label);
    context_ = new Background::Mailbox;
    context_->moveToThread(thread_.get());
    thread_->start();
}

SerialQueue::~SerialQueue() {
    Q_ASSERT(!isCurrent());
    // Whatever still lives on the queue goes with its context, on its own thread.
    sync([context = context_] { delete context; });
    thread_->quit();
    thread_->wait();
}
