#include "CastMessage.h"

#include <QJsonDocument>
#include <QStringDecoder>
#include <QtEndian>

#include <map>

using namespace Qt::StringLiterals;

namespace {

// Reads a base-128 varint of at most 10 bytes at `pos`; nothing when the data
// ends inside it or it runs longer.
std::optional<quint64> readVarint(QByteArrayView data, qsizetype& pos) {
    quint64 value = 0;
    for (int i = 0; i < 10; ++i) {
        if (pos >= data.size())
            return std::nullopt;
        const auto byte = static_cast<quint8>(data[pos++]);
        value |= quint64(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0)
            return value;
    }
    return std::nullopt;
}

} // namespace

CastMessage::CastMessage(QString source, QString destination, QString namespaceUrn, QString payload)
    : source(std::move(source))
    , destination(std::move(destination))
    , namespaceUrn(std::move(namespaceUrn))
    , payload(std::move(payload)) {}

CastMessage::CastMessage(const QString& to, Namespace channel, const QJsonObject& json)
    : source(kSenderId.toString())
    , destination(to)
    , namespaceUrn(urn(channel))
    , payload(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact))) {
    if (payload.isEmpty())
        payload = u"{}"_s;
}

QString CastMessage::urn(Namespace channel) {
    switch (channel) {
    case Namespace::connection:
        return u"urn:x-cast:com.google.cast.tp.connection"_s;
    case Namespace::heartbeat:
        return u"urn:x-cast:com.google.cast.tp.heartbeat"_s;
    case Namespace::receiver:
        return u"urn:x-cast:com.google.cast.receiver"_s;
    case Namespace::media:
        return u"urn:x-cast:com.google.cast.media"_s;
    }
    return {};
}

void CastMessage::appendVarint(QByteArray& buffer, quint64 value) {
    while (value >= 0x80) {
        buffer.append(char((value & 0x7F) | 0x80));
        value >>= 7;
    }
    buffer.append(char(value));
}

void CastMessage::appendStringField(QByteArray& buffer, quint64 field, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    appendVarint(buffer, field * 8 + 2);
    appendVarint(buffer, quint64(utf8.size()));
    buffer.append(utf8);
}

QByteArray CastMessage::framed() const {
    QByteArray body;
    body.append("\x08\x00", 2);
    appendStringField(body, 2, source);
    appendStringField(body, 3, destination);
    appendStringField(body, 4, namespaceUrn);
    body.append("\x28\x00", 2);
    appendStringField(body, 6, payload);

    QByteArray frame(4, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), frame.data());
    return frame + body;
}

std::optional<CastMessage> CastMessage::decode(QByteArrayView body) {
    std::map<quint64, QString> fields;
    qsizetype pos = 0;
    while (pos < body.size()) {
        const std::optional<quint64> key = readVarint(body, pos);
        // A body that ends inside a key keeps what was read before it.
        if (!key)
            break;
        const quint64 wireType = *key & 7;
        const quint64 number = *key >> 3;
        if (wireType == 0) {
            for (int i = 0; i < 10 && pos < body.size(); ++i) {
                if ((static_cast<quint8>(body[pos++]) & 0x80) == 0)
                    break;
            }
        } else if (wireType == 2) {
            if (pos >= body.size())
                return std::nullopt;
            const std::optional<quint64> length = readVarint(body, pos);
            if (!length || *length > quint64(body.size() - pos))
                return std::nullopt;
            const QByteArrayView bytes = body.sliced(pos, qsizetype(*length));
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
            fields[number] = utf8.decode(bytes);
            pos += qsizetype(*length);
        } else {
            return std::nullopt;
        }
    }
    if (!fields.contains(2) || !fields.contains(3) || !fields.contains(4))
        return std::nullopt;
    return CastMessage(fields[2], fields[3], fields[4], fields.contains(6) ? fields[6] : QString());
}
