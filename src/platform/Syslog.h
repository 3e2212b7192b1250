#pragma once

#include "SystemLog.h"

// Writes to syslog(3), which reaches the journal on a systemd desktop. The
// connection is process-wide and opened once, on first use.
class Syslog final : public SystemLog {
public:
    void write(const QString& message) override;
};
