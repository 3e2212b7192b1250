#include "SystemdUserUnits.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {
// systemctl waits up to 25 s for a D-Bus answer; the viewer does not wait that long.
constexpr int kTimeoutMs = 15'000;
} // namespace

SystemdUserUnits::SystemdUserUnits(QString folder, QProcessEnvironment environment)
    : folder_(std::move(folder))
    , environment_(std::move(environment)) {}

SystemdUserUnits SystemdUserUnits::forCurrentUser() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return SystemdUserUnits(QDir(config).filePath(u"systemd/user"_s),
                            QProcessEnvironment::systemEnvironment());
}

std::expected<SystemdUserUnits::Result, SystemError>
SystemdUserUnits::systemctl(const QStringList& arguments) const {
    QProcess process;
    process.setProcessEnvironment(environment_);
    process.start(u"systemctl"_s, QStringList{u"--user"_s} + arguments);
    if (!process.waitForStarted())
        return std::unexpected(SystemError{u"Cannot run systemctl: "_s + process.errorString()});
    if (!process.waitForFinished(kTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return std::unexpected(SystemError{u"systemctl did not answer in time."_s});
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return std::unexpected(SystemError{u"systemctl crashed."_s});
    return Result{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
                  QString::fromUtf8(process.readAllStandardError()).trimmed()};
}

std::expected<void, SystemError> SystemdUserUnits::succeed(const QStringList& arguments) const {
    const auto result = systemctl(arguments);
    if (!result)
        return std::unexpected(result.error());
    if (result->exitCode != 0) {
        const QString text = result->errors.isEmpty()
                                 ? u"systemctl --user "_s + arguments.join(u' ') + u" failed with status "_s +
                                       QString::number(result->exitCode) + u'.'
                                 : result->errors;
        return std::unexpected(SystemError{text});
    }
    return {};
}

std::expected<bool, SystemError> SystemdUserUnits::isEnabled(const QString& unit) {
    const auto result = systemctl({u"is-enabled"_s, unit});
    if (!result)
        return std::unexpected(result.error());
    // is-enabled reads the unit files itself and prints a state even when it
    // exits non-zero ("disabled"); only no state at all is a failure.
    if (result->output.isEmpty()) {
        const QString text =
            result->errors.isEmpty() ? u"systemctl --user is-enabled failed."_s : result->errors;
        return std::unexpected(SystemError{text});
    }
    return result->output == u"enabled"_s;
}

std::expected<void, SystemError> SystemdUserUnits::reload() {
    return succeed({u"daemon-reload"_s});
}

std::expected<void, SystemError> SystemdUserUnits::enableAndStart(const QString& unit, bool restart) {
    if (restart) {
        if (auto enabled = succeed({u"enable"_s, unit}); !enabled)
            return enabled;
        return succeed({u"restart"_s, unit});
    }
    return succeed({u"enable"_s, u"--now"_s, unit});
}
