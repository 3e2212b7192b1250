#include "AvahiBrowser.h"

#include "AvahiQtPoll.h"

#include <QTimer>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/strlst.h>

#include <map>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// How long to wait before trying again when the client or the browser failed.
constexpr int kRetryMs = 1000;

// One service instance as Avahi names it.
using ServiceKey = std::tuple<AvahiIfIndex, AvahiProtocol, QByteArray, QByteArray, QByteArray>;

QMap<QString, QString> txtEntries(AvahiStringList* list) {
    QMap<QString, QString> entries;
    for (AvahiStringList* item = list; item; item = avahi_string_list_get_next(item)) {
        const QByteArray text(reinterpret_cast<const char*>(avahi_string_list_get_text(item)),
                              qsizetype(avahi_string_list_get_size(item)));
        const qsizetype equals = text.indexOf('=');
        const QString key = QString::fromUtf8(equals < 0 ? text : text.first(equals));
        // The first occurrence of a key counts.
        if (!key.isEmpty() && !entries.contains(key))
            entries.insert(key, equals < 0 ? QString() : QString::fromUtf8(text.sliced(equals + 1)));
    }
    return entries;
}

} // namespace

struct AvahiBrowser::Private {
    struct Service {
        AvahiServiceResolver* resolver = nullptr;
        std::optional<DnsSdResult> result;
    };

    AvahiBrowser* q = nullptr;
    AvahiQtPoll poll;
    QByteArray type;
    AvahiClient* client = nullptr;
    AvahiServiceBrowser* browser = nullptr;
    std::map<ServiceKey, Service> services;
    QTimer retry;

    ~Private() {
        dropServices(false);
        if (client)
            avahi_client_free(client);
    }

    void connectClient() {
        int error = 0;
        // NO_FAIL: without a daemon the client waits for one to appear.
        client = avahi_client_new(poll.api(), AVAHI_CLIENT_NO_FAIL, &Private::clientChanged, this, &error);
        if (!client)
            retry.start(kRetryMs);
    }

    static void clientChanged(AvahiClient* client, AvahiClientState state, void* userdata) {
        auto* self = static_cast<Private*>(userdata);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
        case AVAHI_CLIENT_S_REGISTERING:
        case AVAHI_CLIENT_S_COLLISION:
            if (!self->browser)
                self->browse(client);
            break;
        case AVAHI_CLIENT_CONNECTING:
            self->dropServices(true);
            break;
        case AVAHI_CLIENT_FAILURE:
            // The client cannot be freed from inside its own callback.
            self->dropServices(true);
            self->retry.start(kRetryMs);
            break;
        }
    }

    void restart() {
        dropServices(true);
        if (client)
            avahi_client_free(client);
        client = nullptr;
        connectClient();
    }

    void browse(AvahiClient* owner) {
        browser = avahi_service_browser_new(owner, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type.constData(),
                                            nullptr, AvahiLookupFlags(0), &Private::browserChanged, this);
        if (!browser)
            retry.start(kRetryMs);
    }

    static void browserChanged(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                               AvahiBrowserEvent event, const char* name, const char* type,
                               const char* domain, AvahiLookupResultFlags, void* userdata) {
        auto* self = static_cast<Private*>(userdata);
        switch (event) {
        case AVAHI_BROWSER_NEW: {
            const ServiceKey key{interface, protocol, name, type, domain};
            if (self->services.contains(key))
                break;
            AvahiServiceResolver* resolver = avahi_service_resolver_new(
                avahi_service_browser_get_client(self->browser), interface, protocol, name, type, domain,
                AVAHI_PROTO_INET, AvahiLookupFlags(0), &Private::resolverChanged, self);
            if (resolver)
                self->services[key].resolver = resolver;
            break;
        }
        case AVAHI_BROWSER_REMOVE: {
            const auto found = self->services.find(ServiceKey{interface, protocol, name, type, domain});
            if (found == self->services.end())
                break;
            const bool hadResult = found->second.result.has_value();
            avahi_service_resolver_free(found->second.resolver);
            self->services.erase(found);
            if (hadResult)
                self->publish();
            break;
        }
        case AVAHI_BROWSER_FAILURE:
            self->retry.start(kRetryMs);
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            break;
        }
    }

    static void resolverChanged(AvahiServiceResolver*, AvahiIfIndex interface, AvahiProtocol protocol,
                                AvahiResolverEvent event, const char* name, const char* type,
                                const char* domain, const char*, const AvahiAddress* address, uint16_t port,
                                AvahiStringList* txt, AvahiLookupResultFlags, void* userdata) {
        auto* self = static_cast<Private*>(userdata);
        const auto found = self->services.find(ServiceKey{interface, protocol, name, type, domain});
        if (found == self->services.end())
            return;
        std::optional<DnsSdResult> result;
        if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET) {
            char text[AVAHI_ADDRESS_STR_MAX] = {};
            avahi_address_snprint(text, sizeof text, address);
            result = DnsSdResult{{QString::fromLatin1(text), port}, txtEntries(txt)};
        }
        // A failed resolve keeps its resolver: Avahi reports again when the service changes.
        if (found->second.result == result)
            return;
        found->second.result = result;
        self->publish();
    }

    void dropServices(bool report) {
        bool hadResults = false;
        for (auto& [key, service] : services) {
            hadResults = hadResults || service.result.has_value();
            avahi_service_resolver_free(service.resolver);
        }
        services.clear();
        if (browser)
            avahi_service_browser_free(browser);
        browser = nullptr;
        if (report && hadResults)
            publish();
    }

    void publish() {
        QList<DnsSdResult> results;
        for (const auto& [key, service] : services) {
            if (service.result)
                results.append(*service.result);
        }
        Q_EMIT q->resultsChanged(results);
    }
};

AvahiBrowser::AvahiBrowser(QObject* parent)
    : DnsSdBrowser(parent)
    , d(std::make_unique<Private>()) {
    d->q = this;
    d->retry.setSingleShot(true);
    connect(&d->retry, &QTimer::timeout, this, [this] { d->restart(); });
}

AvahiBrowser::~AvahiBrowser() = default;

void AvahiBrowser::start(const QString& type) {
    if (!d->type.isEmpty())
        return;
    d->type = type.toUtf8();
    d->connectClient();
}
