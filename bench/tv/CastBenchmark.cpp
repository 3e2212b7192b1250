#include "BenchInputs.h"
#include "Ratio.h"

#include "imaging/render/ImageRenderer.h"
#include "support/FakeCastReceiver.h"
#include "tv/CastController.h"
#include "tv/PhotoServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>

#include <chrono>

// The TV path of one photo: from `show` of the stage image to the photo being
// published and loaded, against the renderer's TV JPEG of the same image alone
// (the work that cannot be avoided); and the photo server's throughput.

namespace {

QSize cameraSize() {
    return smokeRun() ? QSize(600, 400) : QSize(6000, 4000);
}

// Runs the event loop, asleep between events, until `done` or 20 seconds.
bool waitUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(20000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void BM_CastSend(benchmark::State& state) {
    const ImageRenderer renderer;
    const auto stage = renderer.base(BenchInputs::cameraJpeg(cameraSize()), ShotFormat::jpeg);
    if (!stage) {
        state.SkipWithError("no stage image");
        return;
    }
    FakeCastReceiver tv;
    QString error;
    if (!tv.start(&error)) {
        state.SkipWithError(qPrintable(QStringLiteral("no TLS test receiver: ") + error));
        return;
    }
    QThreadPool pool;
    // Wakes the waiting loop when the TV is told to load a photo.
    QTimer tick;
    tick.start(100);
    CastController controller(renderer, pool, nullptr);
    controller.connectTo(CastDevice{QStringLiteral("Bench"), {QStringLiteral("127.0.0.1"), tv.port()}});
    if (!waitUntil([&] { return controller.state().kind == CastState::Kind::casting; })) {
        state.SkipWithError("the fake TV did not answer");
        return;
    }
    const QImage image = *stage;
    bool failed = false;
    measureAgainst(
        state,
        [&] {
            const qsizetype loads = tv.ofType(QStringLiteral("LOAD")).size();
            controller.show(image);
            failed = failed || !waitUntil([&] { return tv.ofType(QStringLiteral("LOAD")).size() > loads; });
        },
        [&] { benchmark::DoNotOptimize(renderer.jpegData(image, CastController::kMaxPixel, 0.88)); });
    if (failed)
        state.SkipWithError("a photo never reached the TV");
}

// One fetch of a 1 MB JPEG by a local client. `ratio` is the fetch time over
// the time the same bytes take at 200 MB/s: at most 1 meets that rate.
void BM_PhotoServe(benchmark::State& state) {
    PhotoServer server;
    if (!server.start()) {
        state.SkipWithError("the photo server cannot listen");
        return;
    }
    const QByteArray jpeg(1'000'000, '\x5a');
    const QString path = server.publish(jpeg);
    const quint16 port = *server.port();
    const QByteArray request = "GET " + path.toUtf8() + " HTTP/1.1\r\n\r\n";
    using Clock = std::chrono::steady_clock;
    double seconds = 0;
    bool failed = false;
    for (auto _ : state) {
        const auto start = Clock::now();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(5000);
        socket.write(request);
        qint64 received = 0;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
            received += socket.readAll().size();
        received += socket.readAll().size();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        failed = failed || received < jpeg.size();
    }
    if (failed)
        state.SkipWithError("a fetch came back short");
    const double n = double(state.iterations());
    state.counters["MBps"] = seconds > 0 ? double(jpeg.size()) * n / seconds / 1e6 : 0;
    state.counters["ratio"] = seconds / n / (double(jpeg.size()) / 200e6);
    state.counters["ms"] = seconds / n * 1e3;
}

} // namespace

BENCHMARK(BM_CastSend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PhotoServe)->Unit(benchmark::kMillisecond)->UseRealTime();
