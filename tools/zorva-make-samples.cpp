// zorva-make-samples OUTDIR: writes the sample card into OUTDIR/100ZORVA.
// zorva-make-samples --touch DIR: only sets the file times of the card in
// DIR/100ZORVA to the shots' capture times (a checkout has none of its own).

#include "samplegen/SampleCard.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = app.arguments();
    std::expected<void, QString> done;
    if (arguments.size() == 2 && !arguments[1].startsWith(u'-')) {
        done = SampleCard::write(arguments[1]);
    } else if (arguments.size() == 3 && arguments[1] == u"--touch"_s) {
        done = SampleCard::touch(arguments[2]);
    } else {
        err << "usage: zorva-make-samples OUTDIR\n"
               "       zorva-make-samples --touch DIR\n";
        return 2;
    }
    if (!done) {
        err << "zorva-make-samples: " << done.error() << '\n';
        return 1;
    }
    return 0;
}
