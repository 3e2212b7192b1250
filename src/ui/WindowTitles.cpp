#include "WindowTitles.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace WindowTitles {

QString title(const PhotoSource& source) {
    switch (source.kind) {
    case PhotoSource::Kind::camera:
        return source.name;
    case PhotoSource::Kind::folder:
        return QFileInfo(source.url).fileName();
    case PhotoSource::Kind::none:
        break;
    }
    return u"Zorva Viewer"_s;
}

} // namespace WindowTitles
