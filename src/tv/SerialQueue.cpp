#include "SerialQueue.h"

SerialQueue::SerialQueue(const QString& label)
    : thread_(std::make_unique<QThread>()) {
    thread_->setObjectName(label);
    context_ = new QObject;
    context_->moveToThread(thread_.get());
    thread_->start();
}

SerialQueue::~SerialQueue() {
    Q_ASSERT(!isCurrent());
    // Whatever still lives on the queue goes with its context, on its own thread.
    QObject* context = context_;
    QMetaObject::invokeMethod(
        context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}
