#pragma once

#include <QString>

// A failed call of a desktop or system service, with the text a person reads
// in the log or on screen.
struct SystemError {
    QString message;

    bool operator==(const SystemError&) const = default;
};
