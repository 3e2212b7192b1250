#include "Syslog.h"

#include <mutex>
#include <syslog.h>

void Syslog::write(const QString& message) {
    static std::once_flag opened;
    // The identifier must outlive every later call: a literal does.
    std::call_once(opened, [] { ::openlog("zorva-viewer", LOG_PID, LOG_USER); });
    // Never a format string of our own making: paths can hold a '%'.
    ::syslog(LOG_WARNING, "%s", message.toUtf8().constData());
}
