// Mouse events go through the window, as the desktop delivers them, so that
// double clicks are made of two presses and hit-testing picks the receiver.
#define QTEST_QPA_MOUSE_HANDLING

#include "UiHarness.h"

#include "ui/PhotoCanvas.h"

#include <QNativeGestureEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool near(const QSizeF& actual, const QSizeF& expected) {
    return qAbs(actual.width() - expected.width()) < 1e-6 && qAbs(actual.height() - expected.height()) < 1e-6;
}

QString text(const QSizeF& size) {
    return u"(%1, %2)"_s.arg(size.width()).arg(size.height());
}

#define COMPARE_PAN(actual, expected)                                                                        \
    QVERIFY2(near(actual, expected), qPrintable(text(actual) + u" != "_s + text(expected)))

void drag(QWidget* widget, QPoint from, QPoint by) {
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 4; ++i)
        QTest::mouseMove(widget, from + by * i / 4);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, from + by);
}

void pinch(QWidget* widget, const QList<double>& steps) {
    const QPointF at = QRectF(widget->rect()).center();
    const auto send = [&](Qt::NativeGestureType type, double value) {
        QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, at, at,
                                  widget->mapToGlobal(at), value, QPointF());
        QApplication::sendEvent(widget, &event);
    };
    send(Qt::BeginNativeGesture, 0);
    for (double step : steps)
        send(Qt::ZoomNativeGesture, step);
    send(Qt::EndNativeGesture, 0);
}

void wheel(QWidget* widget, QPointF at, int notches, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class CanvasInputTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    // The pan limits at `zoom`: how far the zoomed photo reaches past the canvas on each side.
    static QSizeF limit(const PhotoCanvas* canvas, double zoom) {
        const QRectF fitted = canvas->fittedRect();
        return QSizeF(std::max(0.0, (zoom * fitted.width() - canvas->width()) / 2),
                      std::max(0.0, (zoom * fitted.height() - canvas->height()) / 2));
    }

private Q_SLOTS:
    void initTestCase() { TestImages::writeJpeg(dir_.filePath(u"A.JPG"_s), QSize(3000, 2000), Qt::darkCyan); }

    void doubleClickAndDrag() {
        ViewerHarness h;
        h.StoreHarness::window.scale = 1.0;
        h.openAndSettle(dir_.path());
        PhotoCanvas* canvas = h.stage()->canvas();
        QVERIFY(canvas->isVisible());
        const QRectF fitted = canvas->fittedRect();
        // One image pixel on one screen pixel.
        const double actual = 3000 / fitted.width();
        QVERIFY(actual > 1.5 && actual < 8);

        // At zoom 1 a drag moves nothing.
        QSignalSpy pans(&h.store, &ViewerStore::panChanged);
        drag(canvas, fitted.center().toPoint(), QPoint(60, 40));
        QCOMPARE(h.store.zoom(), 1.0);
        QCOMPARE(pans.count(), 0);

        // The photo point double-clicked stays under the pointer.
        const QPoint click = fitted.center().toPoint() + QPoint(-40, 30);
        QTest::mouseDClick(canvas, Qt::LeftButton, {}, click);
        QCOMPARE(h.store.zoom(), actual);
        const QPointF offset = QPointF(click) - fitted.center();
        COMPARE_PAN(h.store.pan(), QSizeF((1 - actual) * offset.x(), (1 - actual) * offset.y()));

        // Dragging pans from where the photo is, as far as its edges.
        const QSizeF start = h.store.pan();
        drag(canvas, click, QPoint(-30, 20));
        COMPARE_PAN(h.store.pan(), start + QSizeF(-30, 20));
        for (int i = 0; i < 2; ++i)
            drag(canvas, QPoint(canvas->width() - 40, 40),
                 QPoint(40 - canvas->width() + 40, canvas->height() - 80));
        const QSizeF edge = limit(canvas, actual);
        COMPARE_PAN(h.store.pan(), QSizeF(-edge.width(), edge.height()));

        QTest::mouseDClick(canvas, Qt::LeftButton, {}, click);
        QCOMPARE(h.store.zoom(), 1.0);
        COMPARE_PAN(h.store.pan(), QSizeF(0, 0));

        // Near a corner the pan stops where the photo's edge meets the stage's.
        QTest::mouseDClick(canvas, Qt::LeftButton, {}, QPoint(2, 2));
        COMPARE_PAN(h.store.pan(), edge);
    }

    void pinchAndCtrlWheel() {
        ViewerHarness h(dir_.path());
        PhotoCanvas* canvas = h.stage()->canvas();

        // The steps of one pinch multiply: from 2, 1.5 x 1.2 x 5/6 asks for 3.
        // A new pinch starts from there; eight times is the most.
        h.store.setZoom(2);
        const std::pair<QList<double>, double> pinches[] = {
            {{0.5, 0.2, -1.0 / 6}, 3.0}, {{1.0}, 6.0}, {{1.0}, 8.0}};
        for (const auto& [steps, zoom] : pinches) {
            pinch(canvas, steps);
            QCOMPARE(h.store.zoom(), zoom);
        }
        // Zooming out pulls the pan back inside the smaller limits at once.
        h.store.setPan(limit(canvas, 8));
        pinch(canvas, {-0.5});
        QCOMPARE(h.store.zoom(), 4.0);
        COMPARE_PAN(h.store.pan(), limit(canvas, 4));

        // Ctrl + wheel zooms about the pointer; the plain wheel does not zoom.
        h.store.resetZoom();
        const QRectF fitted = canvas->fittedRect();
        const QPointF at = fitted.center() + QPointF(10, 50);
        wheel(canvas, at, 1, Qt::NoModifier);
        QCOMPARE(h.store.zoom(), 1.0);
        wheel(canvas, at, 1);
        const double zoom = h.store.zoom();
        QVERIFY(zoom > 1.1 && zoom < 2);
        COMPARE_PAN(h.store.pan(), QSizeF((1 - zoom) * 10, (1 - zoom) * 50));
        wheel(canvas, at, -1);
        QCOMPARE(h.store.zoom(), 1.0);
        COMPARE_PAN(h.store.pan(), QSizeF(0, 0));
        wheel(canvas, at, 30);
        QCOMPARE(h.store.zoom(), 8.0);
    }
};

QTEST_MAIN(CanvasInputTest)
#include "CanvasInputTest.moc"
