#pragma once

#include "UserUnits.h"

#include <QProcessEnvironment>

// The systemd user manager, reached through `systemctl --user`. Each call runs
// systemctl to completion, bounded in time, so it belongs on a worker thread.
class SystemdUserUnits final : public UserUnits {
public:
    SystemdUserUnits(QString folder, QProcessEnvironment environment);
    // $XDG_CONFIG_HOME/systemd/user (~/.config/systemd/user by default), this
    // process's environment.
    static SystemdUserUnits forCurrentUser();

    QString folder() const override { return folder_; }
    std::expected<bool, SystemError> isEnabled(const QString& unit) override;
    std::expected<void, SystemError> reload() override;
    std::expected<void, SystemError> enableAndStart(const QString& unit, bool restart) override;

private:
    struct Result {
        int exitCode = 0;
        QString output;
        QString errors;
    };
    std::expected<Result, SystemError> systemctl(const QStringList& arguments) const;
    std::expected<void, SystemError> succeed(const QStringList& arguments) const;

    QString folder_;
    QProcessEnvironment environment_;
};
