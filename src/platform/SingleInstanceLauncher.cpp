#include "SingleInstanceLauncher.h"

#include "SingleInstance.h"

#include <QDir>
#include <QProcess>

SingleInstanceLauncher::SingleInstanceLauncher(QString instanceName, QString program, QStringList arguments)
    : instanceName_(std::move(instanceName))
    , program_(std::move(program))
    , arguments_(std::move(arguments)) {}

std::expected<void, SystemError> SingleInstanceLauncher::openViewer(QDeadlineTimer deadline) {
    const auto handed = SingleInstance::handOver(instanceName_, {}, deadline);
    if (!handed)
        return std::unexpected(handed.error());
    if (*handed)
        return {};

    QProcess process;
    process.setProgram(program_);
    process.setArguments(arguments_);
    process.setWorkingDirectory(QDir::homePath());
    if (!process.startDetached())
        return std::unexpected(SystemError{process.errorString()});
    return {};
}
