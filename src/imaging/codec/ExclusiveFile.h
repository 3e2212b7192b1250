#pragma once

#include <QString>

#include <expected>
#include <functional>

// A new file that appears under its final name only once it is complete, and
// never in place of another file. It is written unnamed where the system and
// file system allows, else under a hidden temporary name in the same folder;
// publishing flushes it to disk and links it under the first free name
// without replacing anything (a name taken meanwhile moves it on to the
// next). A file that is never published leaves nothing behind.
class ExclusiveFile {
public:
    // errno-style failures carry the system's text.
    struct Failure {
        int code = 0;
        QString message;
        QString path; // the name being linked when publishing failed, else empty
    };

    static std::expected<ExclusiveFile, Failure> create(const QString& folder);
    ExclusiveFile(ExclusiveFile&& other) noexcept;
    ExclusiveFile& operator=(ExclusiveFile&&) = delete;
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;
    ~ExclusiveFile();

    int fd() const { return fd_; }

    // Links the file under nameFor(1), nameFor(2), ... (file names within
    // the folder), the first that does not exist; answers its path.
    std::expected<QString, Failure> publish(const std::function<QString(int)>& nameFor);

private:
    ExclusiveFile(QString folder, int fd, QString temporaryPath)
        : folder_(std::move(folder))
        , fd_(fd)
        , temporaryPath_(std::move(temporaryPath)) {}
    void discard();

    QString folder_;
    int fd_ = -1;
    QString temporaryPath_; // empty for an unnamed file
    bool published_ = false;
};
