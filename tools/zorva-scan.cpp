// zorva-scan FOLDER: prints the shots of FOLDER as the viewer groups them,
// newest first, one line each: name, kind, capture date (ISO 8601 UTC), files,
// and last the shot's id as "id=ID".

#include "card/PhotoScanner.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {
QString kindText(ShotFiles::Case kind) {
    switch (kind) {
    case ShotFiles::Case::jpegOnly:
        return u"jpeg"_s;
    case ShotFiles::Case::rawOnly:
        return u"raw"_s;
    case ShotFiles::Case::both:
        return u"both"_s;
    }
    return {};
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2) {
        err << "usage: zorva-scan FOLDER\n";
        return 2;
    }
    for (const Shot& shot : PhotoScanner::shots(arguments[1])) {
        out << shot.name << ' ' << kindText(shot.files.kind()) << ' '
            << shot.captured.toUTC().toString(Qt::ISODateWithMs);
        for (const QString& file : shot.files.all())
            out << ' ' << file;
        out << " id=" << shot.id << '\n';
    }
    return 0;
}
