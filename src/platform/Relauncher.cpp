#include "Relauncher.h"

#include <QProcess>

using namespace Qt::StringLiterals;

bool Relauncher::relaunch(const QString& executable) {
    // The shell gets the path as $0, so no quoting of it is ever needed.
    return QProcess::startDetached(u"/bin/sh"_s, {u"-c"_s, u"sleep 1; exec \"$0\""_s, executable});
}
