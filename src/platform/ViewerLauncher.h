#pragma once

#include "SystemError.h"

#include <QDeadlineTimer>

#include <expected>

// Opens the viewer for the mount agent: brings a running one to the front or
// starts a new one.
class ViewerLauncher {
public:
    virtual ~ViewerLauncher() = default;
    // Returns by `deadline` at the latest.
    virtual std::expected<void, SystemError> openViewer(QDeadlineTimer deadline) = 0;
};
