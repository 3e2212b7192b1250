#pragma once

#include <QString>

// Starts a program again once the current process has had a moment to quit.
class Relauncher {
public:
    // Runs `executable` from a detached shell after a one-second pause; false
    // when the shell could not be started.
    static bool relaunch(const QString& executable);
};
