// zorva-update --feed URL [--bundle PATH] [--key PUBLIC.pem]: runs one update
// check of the bundle at PATH (else of this tool's own location) against the
// feed at URL, prints each state, and exits 0 when an update was installed or
// the bundle is current, 1 with the failure text otherwise. The feed may be
// plain http on 127.0.0.1. The key defaults to the one this build trusts.
//
// zorva-update --sign BUNDLE --key PRIVATE.pem: signs a bundle for this
// build's bundle and team identifiers, as releases are signed.

#include "update/BundleSignature.h"
#include "update/InstalledBundle.h"
#include "update/Updater.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

std::optional<QByteArray> readKey(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.addOptions({{u"feed"_s, u"The release feed."_s, u"url"_s},
                       {u"bundle"_s, u"The installed bundle to update."_s, u"path"_s},
                       {u"key"_s, u"A public key to trust, or with --sign the private key."_s, u"pem"_s},
                       {u"sign"_s, u"Sign this bundle."_s, u"path"_s}});
    parser.process(app);

    UpdateSettings settings = UpdateSettings::builtIn();
    std::optional<QByteArray> key;
    if (parser.isSet(u"key"_s)) {
        key = readKey(parser.value(u"key"_s));
        if (!key) {
            err << "zorva-update: can't read " << parser.value(u"key"_s) << '\n';
            return 2;
        }
    }

    if (parser.isSet(u"sign"_s)) {
        if (!key) {
            err << "usage: zorva-update --sign BUNDLE --key PRIVATE.pem\n";
            return 2;
        }
        const auto signedBundle =
            BundleSignature::sign(parser.value(u"sign"_s), *key, settings.identifier, settings.team);
        if (!signedBundle) {
            err << "zorva-update: " << signedBundle.error().errorDescription << '\n';
            return 1;
        }
        return 0;
    }

    if (!parser.isSet(u"feed"_s)) {
        err << "usage: zorva-update --feed URL [--bundle PATH] [--key PUBLIC.pem]\n";
        return 2;
    }
    settings.feed = QUrl(parser.value(u"feed"_s));
    settings.allowLocalHttp = true;
    if (key)
        settings.publicKey = *key;
    if (parser.isSet(u"bundle"_s))
        settings.executable =
            parser.value(u"bundle"_s) + u'/' + QLatin1StringView(InstalledBundle::kExecutable);
    settings.quit = [] {};

    Updater updater(settings);
    int status = -1;
    QObject::connect(&updater, &Updater::stateChanged, &app, [&] {
        const UpdateState& state = updater.state();
        out << state.describe() << Qt::endl;
        if (state.kind == UpdateState::Kind::idle || state.kind == UpdateState::Kind::installed)
            status = 0;
        else if (state.kind == UpdateState::Kind::failed)
            status = 1;
        if (status >= 0)
            QCoreApplication::exit(status);
    });
    updater.check();
    // A check that ends at once never reaches the event loop.
    return status >= 0 ? status : app.exec();
}
