#include "PresentationView.h"

#include "store/ViewerStore.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// The desktop's screen for `info`: same name and place, else the same name,
// else the one under its centre.
QScreen* screenFor(const ScreenInfo& info) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        if (screen->name() == info.name && screen->geometry() == info.geometry)
            return screen;
    }
    for (QScreen* screen : screens) {
        if (screen->name() == info.name)
            return screen;
    }
    return QGuiApplication::screenAt(info.geometry.center());
}

} // namespace

PresentationView::PresentationView(ViewerStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setObjectName(u"presentation"_s);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::BlankCursor);
    connect(&store_, &ViewerStore::displayedImageChanged, this, qOverload<>(&QWidget::update));
}

std::unique_ptr<PresentationView> PresentationView::cover(ViewerStore& store, const ScreenInfo& screen) {
    auto view = std::make_unique<PresentationView>(store);
    view->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    // The viewer's window alone decides when the application ends: closing it
    // quits even while a photo is on the TV.
    view->setAttribute(Qt::WA_QuitOnClose, false);
    view->setWindowTitle(u"Zorva Viewer"_s);
    view->setGeometry(screen.geometry);
    view->winId();
    if (QScreen* target = screenFor(screen))
        view->windowHandle()->setScreen(target);
    view->setGeometry(screen.geometry);
    view->showFullScreen();
    view->raise();
    return view;
}

QRectF PresentationView::imageRect(const QSizeF& image, const QSizeF& area) {
    if (image.isEmpty() || area.isEmpty())
        return {};
    const QSizeF fitted = image.scaled(area, Qt::KeepAspectRatio);
    return QRectF(QPointF((area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2),
                  fitted);
}

void PresentationView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QImage& image = store_.displayedImage();
    if (image.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(imageRect(image.deviceIndependentSize(), size()), image);
}
