#pragma once

#include "DnsSdBrowser.h"

#include <memory>

// DNS-SD browsing through the desktop's Avahi daemon, on the main thread's
// event loop. Each service found is resolved to an IPv4 address and port with
// its TXT record. Without a daemon (or while it restarts) the result set is
// empty, and browsing resumes by itself when the daemon is back.
class AvahiBrowser final : public DnsSdBrowser {
    Q_OBJECT
public:
    explicit AvahiBrowser(QObject* parent = nullptr);
    ~AvahiBrowser() override;

    void start(const QString& type) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
