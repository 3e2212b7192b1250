#pragma once

#include "FileReveal.h"

#include <QObject>
#include <QUrl>

#include <functional>

// Asks the file manager over D-Bus (org.freedesktop.FileManager1.ShowItems) to
// show the file selected. The call is asynchronous with a short timeout, so a
// file manager that never answers cannot hang the window; when none answers,
// the file's folder is opened instead. Main thread.
class FileManagerReveal final : public QObject, public FileReveal {
    Q_OBJECT
public:
    using FolderOpener = std::function<void(const QUrl& folder)>;
    static constexpr int kTimeoutMs = 2000;

    // `openFolder` defaults to the desktop's handler for folders.
    explicit FileManagerReveal(FolderOpener openFolder = {}, QObject* parent = nullptr);

    void reveal(const QString& path) override;

private:
    FolderOpener openFolder_;
};
