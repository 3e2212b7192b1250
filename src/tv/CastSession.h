#pragma once

#include "SerialQueue.h"

#include "platform/ServiceEndpoint.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// One connection to one Google Cast receiver: a TLS stream to the device, the
// launch of the Default Media Receiver, the join of that application, the
// heartbeat, and LOADs of photos by URL. All its state lives on its own serial
// queue "cast-session"; the public calls hop onto it and events are reported
// from it. A new device means a new session.
class CastSession {
public:
    struct Event {
        enum class Kind { ready, failed, ended };
        Kind kind = Kind::ended;
        QString message;

        static Event ready() { return {Kind::ready, {}}; }
        static Event failed(QString message) { return {Kind::failed, std::move(message)}; }
        static Event ended() { return {Kind::ended, {}}; }
        bool operator==(const Event&) const = default;
    };
    // A transport failure: its POSIX error number when known (0 otherwise) and
    // the platform's description.
    struct TransportError {
        int code = 0;
        QString description;
    };
    // Called on the session's queue.
    using EventHandler = std::function<void(const Event&)>;

    static constexpr std::chrono::milliseconds kHeartbeatInterval{5000};
    // The Cast protocol's own message limit; a longer frame ends the session,
    // so a device cannot make the viewer buffer without bound.
    static constexpr qsizetype kMaxFrameBytes = 64 * 1024;
    // Answers a device will not take: past this many unsent bytes it has stopped
    // reading, and the session ends rather than hold them all.
    static constexpr qint64 kMaxUnsentBytes = 1024 * 1024;
    // A device answers every PING; silence for this many heartbeats means it is gone.
    static constexpr int kSilentHeartbeats = 3;

    CastSession(const ServiceEndpoint& endpoint, EventHandler onEvent,
                std::chrono::milliseconds heartbeatInterval = kHeartbeatInterval);
    ~CastSession();
    CastSession(const CastSession&) = delete;
    CastSession& operator=(const CastSession&) = delete;

    // Connects; the device is asked to launch the media receiver once the stream is up.
    void start();
    // Loads the photo at `url`, or keeps it for when the application is joined.
    void showJPEG(const QString& url);
    // Stops the application if it was launched, and ends the session.
    void stop();
    // This computer's IPv4 address on the connection; not from the session's own queue.
    std::optional<QString> localIPv4() const;

    static QString describe(const TransportError& error);
    // The address text without any "%" scope suffix, if it is IPv4.
    static std::optional<QString> ipv4Text(const QString& address);

private:
    class Link;
    SerialQueue queue_;
    Link* link_ = nullptr;
};
