#pragma once

#include "SystemError.h"

#include <QString>

#include <expected>

// The user's service manager as the mount agent needs it: a folder for unit
// files and the calls that load, enable and start them.
class UserUnits {
public:
    virtual ~UserUnits() = default;

    // Where the user's own unit files live.
    virtual QString folder() const = 0;
    // Whether the unit is enabled (started at every login).
    virtual std::expected<bool, SystemError> isEnabled(const QString& unit) = 0;
    // Makes the manager read changed unit files again.
    virtual std::expected<void, SystemError> reload() = 0;
    // Enables the unit and starts it; `restart` restarts a running one so that it
    // takes up a changed definition.
    virtual std::expected<void, SystemError> enableAndStart(const QString& unit, bool restart) = 0;
};
