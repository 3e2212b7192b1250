#include "ui/StageGeometry.h"

#include <QTest>

class StageGeometryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fitsWithAMarginAndPansWithinThePhoto() {
        const QSizeF photo(6000, 4000);
        const QSizeF stage(1216, 816);
        QCOMPARE(StageGeometry::fitted(photo, stage, 0), QRectF(8, 8, 1200, 800));
        QCOMPARE(StageGeometry::fitted(photo, stage, 72), QRectF(62, 8, 1092, 728));
        // A small photo is scaled up; a photo without size covers the canvas.
        QCOMPARE(StageGeometry::fitted(QSizeF(300, 200), stage, 0), QRectF(8, 8, 1200, 800));
        QCOMPARE(StageGeometry::fitted(QSizeF(0, 200), stage, 0), QRectF(0, 0, 1216, 816));
        // A canvas smaller than its margins still gives a rectangle.
        QVERIFY(StageGeometry::fitted(photo, QSizeF(10, 10), 72).width() > 0);

        // Panning reaches only as far as the photo does.
        const QRectF fitted(8, 8, 1200, 800);
        QCOMPARE(StageGeometry::clampedPan(QSizeF(50, -50), 1.0, fitted, stage), QSizeF(0, 0));
        // At 2x the photo is 2400 x 1600: it may move (2400 - 1216) / 2 sideways.
        QCOMPARE(StageGeometry::clampedPan(QSizeF(5000, -5000), 2.0, fitted, stage), QSizeF(592, -392));
        QCOMPARE(StageGeometry::clampedPan(QSizeF(100, 100), 2.0, fitted, stage), QSizeF(100, 100));
    }

    void doubleClickKeepsThePointUnderThePointer() {
        const QRectF fitted(8, 8, 1200, 800);
        QCOMPARE(StageGeometry::panKeeping(fitted.center(), 3.0, fitted), QSizeF(0, 0));
        const QSizeF pan = StageGeometry::panKeeping(QPointF(108, 58), 3.0, fitted);
        QCOMPARE(pan, QSizeF(1000, 700));
        // The photo point under (108, 58) is still there after zooming.
        const QRectF drawn = StageGeometry::imageRect(fitted, 3.0, pan);
        const QPointF unit((108 - fitted.left()) / fitted.width(), (58 - fitted.top()) / fitted.height());
        QCOMPARE(drawn.left() + unit.x() * drawn.width(), 108.0);
        QCOMPARE(drawn.top() + unit.y() * drawn.height(), 58.0);
    }
};

QTEST_GUILESS_MAIN(StageGeometryTest)
#include "StageGeometryTest.moc"
