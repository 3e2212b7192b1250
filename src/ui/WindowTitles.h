#pragma once

#include "store/PhotoSource.h"

#include <QString>

// The window's title text, from the library's source.
namespace WindowTitles {
// The camera's name, the folder's last path component, or "Zorva Viewer".
QString title(const PhotoSource& source);
} // namespace WindowTitles
