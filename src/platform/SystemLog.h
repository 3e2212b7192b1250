#pragma once

#include <QString>

// The system log, for the few failures nobody is there to see (the mount
// agent runs with no window). Safe to call from any thread.
class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void write(const QString& message) = 0;
};
