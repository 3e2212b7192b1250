// zorva-cast --list: browses for Cast TVs for a few seconds and prints each
// one's name, address and port.
// zorva-cast TARGET FILE: casts FILE to TARGET (a TV's name, or host:port) as
// the viewer would: the renderer's screen image, sent as the TV's JPEG through
// the photo server. Prints every state change; exits 0 once the TV fetched the
// photo, or 1 with the failure text.

#include "imaging/render/ImageRenderer.h"
#include "platform/AvahiBrowser.h"
#include "tv/CastController.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kListSeconds = 4;
constexpr int kFindSeconds = 10;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}
QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

QString describe(const CastState& state) {
    switch (state.kind) {
    case CastState::Kind::idle:
        return u"idle"_s;
    case CastState::Kind::connecting:
        return u"connecting to "_s + state.device;
    case CastState::Kind::casting:
        return u"casting to "_s + state.device;
    case CastState::Kind::failed:
        return u"failed on "_s + state.device + u": "_s + state.reason;
    }
    return {};
}

ShotFormat formatOf(const QString& file) {
    const QString suffix = QFileInfo(file).suffix().toLower();
    return suffix == u"dng"_s || suffix == u"rw2"_s ? ShotFormat::raw : ShotFormat::jpeg;
}

int usage() {
    err() << "usage: zorva-cast --list\n       zorva-cast TARGET FILE   (TARGET: a TV's name or host:port)\n";
    err().flush();
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const bool list = arguments == QStringList{u"--list"_s};
    if (!list && arguments.size() != 2)
        return usage();

    ImageRenderer renderer;
    QThreadPool pool;
    AvahiBrowser browser;
    CastController controller(renderer, pool, &browser);

    if (list) {
        controller.startBrowsing();
        QTimer::singleShot(kListSeconds * 1000, &app, [&] {
            for (const CastDevice& device : controller.devices())
                out() << device.name << '\t' << device.endpoint.host << '\t' << device.endpoint.port << '\n';
            if (controller.devices().isEmpty())
                out() << "No TVs found.\n";
            out().flush();
            app.exit(0);
        });
        return app.exec();
    }

    const QString target = arguments[0];
    const QString file = arguments[1];
    const auto image = renderer.base(file, formatOf(file));
    if (!image) {
        err() << image.error().message << '\n';
        return 1;
    }
    controller.show(*image);

    auto finish = [&](int code, const QString& text) {
        (code == 0 ? out() : err()) << text << '\n';
        out().flush();
        err().flush();
        app.exit(code);
    };
    QObject::connect(&controller, &CastController::stateChanged, &app, [&] {
        const CastState& state = controller.state();
        out() << describe(state) << '\n';
        out().flush();
        if (state.kind == CastState::Kind::failed)
            finish(1, state.reason);
        else if (state.kind == CastState::Kind::idle)
            finish(1, u"The TV ended the session."_s);
    });
    QObject::connect(&controller.server(), &PhotoServer::served, &app,
                     [&](const QString& path) { finish(0, u"The TV fetched "_s + path); });

    const QRegularExpressionMatch hostPort = QRegularExpression(u"^(.+):(\\d{1,5})$"_s).match(target);
    if (hostPort.hasMatch()) {
        controller.connectTo(
            CastDevice{target, {hostPort.captured(1), quint16(hostPort.captured(2).toUInt())}});
    } else {
        auto connectWhenFound = [&] {
            if (controller.state().kind != CastState::Kind::idle)
                return;
            for (const CastDevice& device : controller.devices()) {
                if (device.name == target) {
                    controller.connectTo(device);
                    return;
                }
            }
        };
        QObject::connect(&controller, &CastController::devicesChanged, &app, connectWhenFound);
        controller.startBrowsing();
        QTimer::singleShot(kFindSeconds * 1000, &app, [&] {
            if (controller.state().kind == CastState::Kind::idle)
                finish(1, u"No TV named \u201C"_s + target + u"\u201D was found."_s);
        });
    }
    return app.exec();
}
