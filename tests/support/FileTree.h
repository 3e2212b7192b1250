#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

#include <sys/stat.h>
#include <utime.h>

// Small helpers for building real folder trees in a test's temporary folder.
namespace FileTree {

// Creates the file (and its folders) with the given content.
inline QString write(const QString& path, const QByteArray& content = QByteArray("x")) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return QFileInfo(path).absoluteFilePath();
}

// Sets the file's modification time, to the second.
inline void setModified(const QString& path, const QDateTime& when) {
    struct utimbuf times;
    times.actime = static_cast<time_t>(when.toSecsSinceEpoch());
    times.modtime = static_cast<time_t>(when.toSecsSinceEpoch());
    if (::utime(QFile::encodeName(path).constData(), &times) != 0)
        qFatal("cannot set the time of %s", qPrintable(path));
}

inline QString writeAt(const QString& path, const QDateTime& when,
                       const QByteArray& content = QByteArray("x")) {
    const QString written = write(path, content);
    setModified(written, when);
    return written;
}

// Every file under a folder with its content.
inline QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        files.insert(path, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return files;
}

} // namespace FileTree
