#include "Background.h"

#include <QCoreApplication>

namespace {

const QEvent::Type kDeliveryType = QEvent::Type(QEvent::registerEventType());

} // namespace

Background::Delivery::Delivery()
    : QEvent(kDeliveryType) {}

bool Background::Mailbox::event(QEvent* event) {
    // Before anything reads the event (a mark nobody sent is a no-op).
    received(event);
    if (event->type() != kDeliveryType)
        return QObject::event(event);
    // The call may delete this mailbox: nothing here touches it afterwards.
    static_cast<Delivery*>(event)->deliver();
    return true;
}

void Background::postDelivery(Mailbox* mailbox, Delivery* delivery) {
    sent(delivery);
    QCoreApplication::postEvent(mailbox, delivery);
}

Background::Mailbox* Background::mainMailbox() {
    // Lives as long as the process: a worker may post to it at any time.
    static Mailbox* const mailbox = [] {
        auto* created = new Mailbox;
        created->moveToThread(QCoreApplication::instance()->thread());
        return created;
    }();
    return mailbox;
}
