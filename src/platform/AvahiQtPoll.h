#pragma once

#include <memory>

struct AvahiPoll;

// Avahi's event-loop adaptor on the Qt event loop of the thread that creates
// it: Avahi's watches become socket notifiers and its timeouts timers, so the
// Avahi client runs on that thread without a loop of its own.
class AvahiQtPoll {
public:
    AvahiQtPoll();
    ~AvahiQtPoll();
    AvahiQtPoll(const AvahiQtPoll&) = delete;
    AvahiQtPoll& operator=(const AvahiQtPoll&) = delete;

    const AvahiPoll* api() const { return api_.get(); }

private:
    std::unique_ptr<AvahiPoll> api_;
};
