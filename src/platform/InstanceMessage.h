#pragma once

#include "SystemError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <expected>
#include <optional>

// What a second launch of the viewer hands to the running one: the folder to
// open, or none. On the wire: "ZVH1", the length of the folder's UTF-8 bytes as
// a 32-bit big-endian number, then those bytes. The codec is pure.
struct InstanceMessage {
    // An absolute path, or empty for "just come to the front".
    QString folder;

    // The byte the receiver answers with once it has taken the message.
    static constexpr char kAccepted = '\x06';
    // Far more than any path; a longer message is garbage.
    static constexpr qsizetype kMaxFolderBytes = 64 * 1024;

    QByteArray encode() const;
    // The message at the start of `bytes`; nothing while bytes are still missing;
    // an error for bytes that can never become a message (wrong magic, too long,
    // not UTF-8, a relative path, bytes after the end).
    static std::expected<std::optional<InstanceMessage>, SystemError> decode(QByteArrayView bytes);

    bool operator==(const InstanceMessage&) const = default;
};
