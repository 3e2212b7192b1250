#pragma once

#include <QFileInfo>
#include <QString>

// A file the renderer could not read or write, with the text the user sees.
struct RenderError {
    enum class Kind { unreadable, cannotWrite, fileSystem };

    Kind kind = Kind::unreadable;
    QString url;     // the file concerned (unreadable, cannotWrite)
    QString message; // the file system's own text (fileSystem)

    static RenderError unreadable(QString url) { return {Kind::unreadable, std::move(url), {}}; }
    static RenderError cannotWrite(QString url) { return {Kind::cannotWrite, std::move(url), {}}; }
    static RenderError fileSystem(QString message) { return {Kind::fileSystem, {}, std::move(message)}; }

    // "Can't read NAME." / "Can't save NAME." / the file system's text.
    QString description() const {
        switch (kind) {
        case Kind::unreadable:
            return QStringLiteral("Can't read ") + QFileInfo(url).fileName() + u'.';
        case Kind::cannotWrite:
            return QStringLiteral("Can't save ") + QFileInfo(url).fileName() + u'.';
        case Kind::fileSystem:
            break;
        }
        return message;
    }

    bool operator==(const RenderError&) const = default;
};
