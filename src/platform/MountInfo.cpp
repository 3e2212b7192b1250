#include "MountInfo.h"

#include <sys/sysmacros.h>

namespace MountInfo {

QString unescape(QStringView field) {
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c == u'\\' && i + 3 < field.size()) {
            const QStringView digits = field.sliced(i + 1, 3);
            bool ok = false;
            const int code = digits.toInt(&ok, 8);
            if (ok && code < 256 && digits[0].isDigit() && digits[1].isDigit() && digits[2].isDigit()) {
                out.append(QChar(code));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

std::optional<MountEntry> parseLine(QStringView line) {
    // 36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue
    const QList<QStringView> fields = line.trimmed().split(u' ', Qt::SkipEmptyParts);
    const qsizetype separator = fields.indexOf(u"-");
    if (fields.size() < 6 || separator < 6 || separator + 2 >= fields.size())
        return std::nullopt;

    MountEntry entry;
    bool ok = false;
    entry.mountId = fields[0].toInt(&ok);
    if (!ok)
        return std::nullopt;
    entry.parentId = fields[1].toInt(&ok);
    if (!ok)
        return std::nullopt;
    const QList<QStringView> majorMinor = fields[2].split(u':');
    if (majorMinor.size() != 2)
        return std::nullopt;
    bool majorOk = false;
    bool minorOk = false;
    const unsigned major = majorMinor[0].toUInt(&majorOk);
    const unsigned minor = majorMinor[1].toUInt(&minorOk);
    if (!majorOk || !minorOk)
        return std::nullopt;
    entry.device = makedev(major, minor);
    entry.root = unescape(fields[3]);
    entry.mountPoint = unescape(fields[4]);
    entry.fsType = unescape(fields[separator + 1]);
    entry.source = unescape(fields[separator + 2]);
    return entry;
}

QList<MountEntry> parse(QStringView text) {
    QList<MountEntry> entries;
    for (QStringView line : text.split(u'\n', Qt::SkipEmptyParts)) {
        if (std::optional<MountEntry> entry = parseLine(line))
            entries.append(*entry);
    }
    return entries;
}

} // namespace MountInfo
