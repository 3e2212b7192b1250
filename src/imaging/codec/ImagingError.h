#pragma once

#include <QString>

// Why an image operation failed, in words fit for a developer's log or the
// render tool; the renderer turns it into the user's RenderError.
struct ImagingError {
    QString message;

    bool operator==(const ImagingError&) const = default;
};
