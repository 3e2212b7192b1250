#pragma once

#include "ViewerLauncher.h"

#include <QString>
#include <QStringList>

// Asks the viewer listening under a single-instance name to come to the front;
// with none listening, starts the viewer's executable as a detached process
// that outlives the caller.
class SingleInstanceLauncher final : public ViewerLauncher {
public:
    SingleInstanceLauncher(QString instanceName, QString program, QStringList arguments = {});

    std::expected<void, SystemError> openViewer(QDeadlineTimer deadline) override;

private:
    QString instanceName_;
    QString program_;
    QStringList arguments_;
};
