#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

#include <optional>

// One Cast protocol (version 2) message: the small protocol-buffers record
// that travels in a length-prefixed frame over the TLS stream to a receiver.
// Only text payloads are built and understood. Pure: bytes in, bytes out.
struct CastMessage {
    // The channels this program talks on; each stands for its URN.
    enum class Namespace { connection, heartbeat, receiver, media };

    QString source;
    QString destination;
    // The channel URN (`namespace` is a C++ keyword).
    QString namespaceUrn;
    // Compact JSON object text.
    QString payload;

    static constexpr QStringView kSenderId = u"sender-0";
    static constexpr QStringView kReceiverId = u"receiver-0";

    CastMessage() = default;
    CastMessage(QString source, QString destination, QString namespaceUrn, QString payload);
    // A message from "sender-0" to `to`, the payload serialised as compact JSON.
    CastMessage(const QString& to, Namespace channel, const QJsonObject& payload);

    static QString urn(Namespace channel);

    // The whole frame: a 4-byte big-endian body length, then the body.
    QByteArray framed() const;
    // Parses one frame body (the bytes after the header); nothing when malformed.
    static std::optional<CastMessage> decode(QByteArrayView body);

    static void appendVarint(QByteArray& buffer, quint64 value);
    static void appendStringField(QByteArray& buffer, quint64 field, const QString& text);

    bool operator==(const CastMessage&) const = default;
};
