#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <sys/types.h>

// One line of /proc/self/mountinfo, decoded. The parser is pure: text in, values out.
struct MountEntry {
    int mountId = 0;
    int parentId = 0;
    dev_t device = 0; // major:minor of the mounted file system
    QString root;
    QString mountPoint;
    QString fsType;
    QString source;

    bool operator==(const MountEntry&) const = default;
};

namespace MountInfo {
// Decodes one line; nothing for a malformed line.
std::optional<MountEntry> parseLine(QStringView line);
// Decodes a whole mountinfo text, skipping malformed lines.
QList<MountEntry> parse(QStringView text);
// Undoes the kernel's octal escapes (\040 for a blank, \011, \012, \134).
QString unescape(QStringView field);
} // namespace MountInfo
