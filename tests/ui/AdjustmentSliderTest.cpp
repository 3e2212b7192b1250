#include "ui/AdjustmentSlider.h"

#include <QApplication>
#include <QImage>
#include <QSlider>
#include <QTest>

using namespace Qt::StringLiterals;

class AdjustmentSliderTest : public QObject {
    Q_OBJECT

    // How many pixels of the column at `x` differ from the slider's background.
    static int marked(const QImage& image, int x) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            count += image.pixel(x, y) != image.pixel(0, 0);
        return count;
    }

private Q_SLOTS:
    void fillRunsFromTheNeutralPointToTheKnob() {
        AdjustmentSlider exposure(u"Exposure"_s, -2, 2, 0, &AdjustmentSlider::exposureText);
        exposure.resize(248, exposure.sizeHint().height());
        static_cast<QWidget&>(exposure).show();
        QSlider* slider = exposure.slider();
        const int w = slider->width();
        const int y = slider->height() / 2;

        // +1 EV puts the knob at three quarters of the width, neutral is the middle.
        exposure.setValue(1);
        QImage image = slider->grab().toImage();
        const QRgb leftOfNeutral = image.pixel(w * 30 / 100, y);
        const QRgb betweenNeutralAndKnob = image.pixel(w * 60 / 100, y);
        const QRgb rightOfKnob = image.pixel(w * 92 / 100, y);
        QCOMPARE(leftOfNeutral, rightOfKnob);
        QVERIFY(betweenNeutralAndKnob != rightOfKnob);

        // -1 EV: the fill runs left from the middle.
        exposure.setValue(-1);
        image = slider->grab().toImage();
        QCOMPARE(image.pixel(w * 40 / 100, y), betweenNeutralAndKnob);
        QCOMPARE(image.pixel(w * 60 / 100, y), rightOfKnob);
        QCOMPARE(image.pixel(w * 8 / 100, y), rightOfKnob);

        // The neutral point is marked: its column shows more than the bare groove beside it.
        exposure.setValue(2);
        image = slider->grab().toImage();
        QVERIFY(marked(image, w / 2) > marked(image, w * 40 / 100));
    }
};

QTEST_MAIN(AdjustmentSliderTest)
#include "AdjustmentSliderTest.moc"
