#include "InstanceMessage.h"

#include <QStringDecoder>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {
constexpr QByteArrayView kMagic = "ZVH1";
constexpr qsizetype kHeaderSize = 8;
} // namespace

QByteArray InstanceMessage::encode() const {
    const QByteArray path = folder.toUtf8();
    QByteArray bytes;
    bytes.reserve(kHeaderSize + path.size());
    bytes.append(kMagic);
    char length[4];
    qToBigEndian(static_cast<quint32>(path.size()), length);
    bytes.append(length, 4);
    bytes.append(path);
    return bytes;
}

std::expected<std::optional<InstanceMessage>, SystemError> InstanceMessage::decode(QByteArrayView bytes) {
    auto invalid = [](const QString& why) {
        return std::unexpected(SystemError{u"Bad hand-over message: "_s + why});
    };

    // A wrong start is rejected as soon as it shows, not once 8 bytes arrived.
    const qsizetype magicSeen = std::min(bytes.size(), kMagic.size());
    if (bytes.first(magicSeen) != kMagic.first(magicSeen))
        return invalid(u"unknown format."_s);
    if (bytes.size() < kHeaderSize)
        return std::optional<InstanceMessage>();

    const quint32 length = qFromBigEndian<quint32>(bytes.data() + kMagic.size());
    if (length > static_cast<quint32>(kMaxFolderBytes))
        return invalid(u"the folder is too long."_s);
    const qsizetype total = kHeaderSize + static_cast<qsizetype>(length);
    if (bytes.size() < total)
        return std::optional<InstanceMessage>();
    if (bytes.size() > total)
        return invalid(u"unexpected bytes after the message."_s);

    const QByteArrayView path = bytes.sliced(kHeaderSize);
    if (path.contains('\0'))
        return invalid(u"the folder contains a null character."_s);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString folder = utf8.decode(path);
    if (utf8.hasError())
        return invalid(u"the folder is not UTF-8."_s);
    // The sender resolves the path in its own working folder; a relative one
    // would be taken against ours and open the wrong folder.
    if (!folder.isEmpty() && !folder.startsWith(u'/'))
        return invalid(u"the folder is not an absolute path."_s);
    return std::optional<InstanceMessage>(InstanceMessage{std::move(folder)});
}
