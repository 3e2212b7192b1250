#pragma once

#include "CastDevice.h"
#include "CastSession.h"
#include "CastState.h"
#include "PhotoServer.h"

#include "platform/Background.h"
#include "platform/DnsSdResult.h"

#include <QImage>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

class DnsSdBrowser;
class ImageRenderer;
class QThreadPool;

// The model behind showing photos on a TV by Google Cast: the sorted list of
// Cast devices on the network, the connection to the one the user picked
// through a CastSession, and every displayed photo sent to it as a JPEG served
// by its PhotoServer. Lives on the main thread; the encoding of each photo runs
// on the user-initiated pool.
class CastController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<CastDevice> devices READ devices NOTIFY devicesChanged)
    Q_PROPERTY(CastState state READ state NOTIFY stateChanged)

public:
    // `browser` may be null (no discovery); it must outlive the controller.
    CastController(const ImageRenderer& renderer, QThreadPool& pool, DnsSdBrowser* browser,
                   PhotoServer::Settings serverSettings = {}, QObject* parent = nullptr);
    ~CastController() override;

    const QList<CastDevice>& devices() const { return devices_; }
    const CastState& state() const { return state_; }
    PhotoServer& server() { return *server_; }

    // Starts discovery once; later calls do nothing.
    void startBrowsing();
    // Starts casting to `device`, replacing any current session.
    void connectTo(const CastDevice& device);
    void disconnect();
    // Remembers the image and sends it while casting.
    void show(const QImage& image);

    static constexpr int kMaxPixel = 1920;
    static constexpr double kQuality = 0.88;

Q_SIGNALS:
    void devicesChanged();
    void stateChanged();

private:
    struct SendOrder;

    void resultsChanged(const QList<DnsSdResult>& results);
    void sessionChanged(const CastSession::Event& event, const QString& device, quint64 serial);
    void send(const QImage& image);
    void setState(const CastState& state);

    const ImageRenderer& renderer_;
    QThreadPool& pool_;
    DnsSdBrowser* browser_;
    bool browsing_ = false;
    QList<CastDevice> devices_;
    CastState state_;
    std::shared_ptr<PhotoServer> server_;
    std::shared_ptr<CastSession> session_;
    // Tells events of the current session from those of replaced ones.
    quint64 sessionSerial_ = 0;
    std::optional<QImage> latestImage_;
    std::shared_ptr<SendOrder> sendOrder_;
    QList<Background::Done> sends_;
};
