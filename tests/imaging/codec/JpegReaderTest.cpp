#include "imaging/ImagingFixtures.h"

#include "imaging/codec/JpegCompressor.h"
#include "imaging/codec/JpegDecoder.h"
#include "imaging/codec/JpegReader.h"
#include "imaging/color/ColorConverter.h"
#include "imaging/color/ColorKernel.h"
#include "imaging/color/ColorProfile.h"
#include "imaging/pixels/LanczosResampler.h"
#include "imaging/pixels/ParallelRunner.h"

#include <QColorSpace>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The file's own colour to Display P3, as the screen reads do it.
ColorKernel::Plan toDisplayP3(const ColorConverter::Source& source) {
    ColorChain chain;
    chain.appendAffine(ColorChain::Domain::linear, source.toDisplayP3);
    return ColorKernel::Plan{source.decode, chain.steps(), ColorKernel::srgbEncode(), true};
}

const QRgb kPattern[3] = {SyntheticScene::kPatternRed, SyntheticScene::kPatternGreen,
                          SyntheticScene::kPatternBlue};

} // namespace

class JpegReaderTest : public QObject {
    Q_OBJECT
public:
    JpegReaderTest()
        : runner_(2)
        , reader_(PixelResources{&runner_, BufferPool::create(64 << 20), &colors_}) {}

private:
    ParallelRunner runner_;
    ColorConverter colors_;
    JpegReader reader_;
    QTemporaryDir dir_;

private Q_SLOTS:
    void scaledReadsFitTheBoundAtTheSmallestSufficientDctScale() {
        const struct {
            const char* file;
            int maxPixel;
            QSize expected;
        } cases[] = {{"ZRV_0001.JPG", 2560, QSize(2000, 1333)}, // larger than the file
                     {"ZRV_0001.JPG", 1000, QSize(1000, 667)},
                     {"ZRV_0004.JPG", 240, QSize(240, 160)},
                     {"ZRV_0007.JPG", 37, QSize(37, 25)}};
        for (const auto& c : cases) {
            const auto image = reader_.readScaled(fixtures::sample(c.file), c.maxPixel);
            QVERIFY2(image.has_value(), qPrintable(image ? QString() : image.error().message));
            QCOMPARE(image->size(), c.expected);
            QCOMPARE(image->format(), QImage::Format_RGBX8888);
            QCOMPARE(image->bytesPerLine(), qsizetype(image->width()) * 4);
            QCOMPARE(image->colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        }
        auto decoder = JpegDecoder::openFile(fixtures::sample("ZRV_0001.JPG")); // 2000 x 1333
        QVERIFY(decoder.has_value());
        const std::pair<int, int> denominators[] = {{2560, 1}, {1000, 2}, {500, 4}, {250, 8}, {251, 4}};
        for (const auto& [maxPixel, denominator] : denominators)
            QCOMPARE((*decoder)->denominatorFor(maxPixel), denominator);
        QCOMPARE((*decoder)->scaledSize(8), QSize(250, 167));
    }

    void everyOrientationComesOutUpright_data() {
        QTest::addColumn<int>("orientation");
        for (int o = 1; o <= 8; ++o)
            QTest::addRow("orientation %d", o) << o;
    }
    void everyOrientationComesOutUpright() {
        QFETCH(int, orientation);
        // An upright 3:2 pattern; the camera stores it turned.
        const QImage upright = SyntheticScene::testPattern(QSize(600, 400));
        const QString path = fixtures::cameraJpeg(dir_.path(), QStringLiteral("o%1.jpg").arg(orientation),
                                                  upright, orientation, 95);
        QVERIFY(!path.isEmpty());
        // The three colours in their quadrants tell every orientation apart.
        for (int maxPixel : {600, 300}) {
            const auto image = reader_.readScaled(path, maxPixel);
            QVERIFY(image.has_value());
            QCOMPARE(image->size(), QSize(maxPixel, maxPixel * 2 / 3));
            for (int q = 0; q < 3; ++q) {
                const double d =
                    fixtures::distance(fixtures::mean(*image, fixtures::quadrant(image->size(), q)),
                                       fixtures::srgbInDisplayP3(kPattern[q]));
                QVERIFY2(d < 4, qPrintable(QStringLiteral("quadrant %1 off by %2").arg(q).arg(d)));
            }
        }
        // At full size, whole or in part, the streamed read is the same
        // upright picture in the same colour, pixel for pixel.
        auto whole = reader_.readFull(path, QRect(0, 0, 600, 400), toDisplayP3);
        QVERIFY(whole.has_value());
        whole->setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        QCOMPARE(*whole, *reader_.readScaled(path, 600));
        const QRect part(50, 70, 201, 99);
        auto cut = reader_.readFull(path, part, toDisplayP3);
        QVERIFY(cut.has_value());
        cut->setColorSpace(whole->colorSpace());
        QCOMPARE(*cut, whole->copy(part));
        QVERIFY(!reader_.readFull(path, QRect(500, 0, 101, 400), toDisplayP3).has_value());
    }

    void shrunkColourPhotosMatchTheRgbDecode_data() {
        QTest::addColumn<int>("subsampling");
        QTest::addColumn<int>("maxPixel");
        QTest::addColumn<bool>("pattern");
        using S = JpegEncoder::Subsampling;
        for (auto [name, s] :
             {std::pair{"4:2:0", S::s420}, std::pair{"4:2:2", S::s422}, std::pair{"4:4:4", S::s444}}) {
            QTest::addRow("%s full scale, landscape", name) << int(s) << 1100 << false;
            QTest::addRow("%s full scale, pattern", name) << int(s) << 1100 << true;
            QTest::addRow("%s half scale, landscape", name) << int(s) << 700 << false;
            QTest::addRow("%s quarter scale, pattern", name) << int(s) << 301 << true;
        }
    }
    void shrunkColourPhotosMatchTheRgbDecode() {
        // A shrinking read resamples the stored YCbCr planes itself; against
        // libjpeg's own RGB decode, Lanczos and the colour conversion
        // (chroma upsampled by another filter) it differs only at sharp
        // colour edges and by rounding.
        QFETCH(int, subsampling);
        QFETCH(int, maxPixel);
        QFETCH(bool, pattern);
        const QSize size(1500, 1000);
        const QImage picture = pattern ? SyntheticScene::testPattern(size) : SyntheticScene::landscape(size);
        CameraJpegWriter::Options options;
        options.subsampling = JpegEncoder::Subsampling(subsampling);
        CaptureInfo info;
        info.captured = QDateTime(QDate(2024, 5, 17), QTime(9, 30, 0));
        const QString path = dir_.filePath(QStringLiteral("planes.jpg"));
        QVERIFY(CameraJpegWriter::write(path, picture, info, options).has_value());

        const auto image = reader_.readScaled(path, maxPixel);
        QVERIFY(image.has_value());
        auto decoder = JpegDecoder::openFile(path);
        QVERIFY(decoder.has_value());
        QVERIFY((*decoder)->planes(1).has_value());
        const int denominator = (*decoder)->denominatorFor(maxPixel);
        const QSize decoded = (*decoder)->scaledSize(denominator);
        QImage rgb(decoded, QImage::Format_RGBX8888);
        QVERIFY((*decoder)->decode(denominator, rgb.bits(), rgb.bytesPerLine()).has_value());
        QImage shrunk(image->size(), QImage::Format_RGBX8888);
        LanczosResampler(decoded.width(), decoded.height(), shrunk.width(), shrunk.height())
            .resample(rgb.constBits(), rgb.bytesPerLine(), shrunk.bits(), shrunk.bytesPerLine(), nullptr);
        ColorChain chain;
        chain.appendAffine(ColorChain::Domain::linear, ColorMath::srgbToDisplayP3());
        ColorKernel::apply({nullptr, chain.steps(), nullptr, true},
                           {shrunk.constBits(), 4, shrunk.bytesPerLine(), ColorKernel::Format::rgba8},
                           {shrunk.bits(), 4, shrunk.bytesPerLine(), ColorKernel::Format::rgba8},
                           shrunk.width(), shrunk.height(), nullptr);
        const auto d = fixtures::difference(shrunk, *image);
        QVERIFY2(d.mean < 0.3 && d.worst <= 32,
                 qPrintable(QStringLiteral("mean %1, worst %2").arg(d.mean).arg(d.worst)));
    }

    void progressiveAndGreyJpegsDecode() {
        // Not what cameras write, but what a chosen folder may hold: a
        // progressive colour JPEG (its planes come only after every scan) and
        // a grey one (no planes to resample: decoded as RGB).
        const QImage picture = SyntheticScene::landscape(QSize(1200, 800));
        const auto save = [&](const QString& name, const QImage& image, bool progressive) {
            QImageWriter writer(dir_.filePath(name), "jpeg");
            writer.setQuality(92);
            writer.setProgressiveScanWrite(progressive);
            return writer.write(image) ? writer.fileName() : QString();
        };
        const QString baseline = save(u"baseline.jpg"_s, picture, false);
        const QString progressivePath = save(u"progressive.jpg"_s, picture, true);
        const QString greyPath =
            save(u"grey.jpg"_s, picture.convertToFormat(QImage::Format_Grayscale8), false);
        const auto fromBaseline = reader_.readScaled(baseline, 900);
        const auto fromProgressive = reader_.readScaled(progressivePath, 900);
        QVERIFY(fromBaseline.has_value() && fromProgressive.has_value());
        // The same coefficients in other scans: the same pixels.
        QCOMPARE(*fromProgressive, *fromBaseline);

        const auto grey = reader_.readScaled(greyPath, 900);
        QVERIFY(grey.has_value());
        QCOMPARE(grey->size(), QSize(900, 600));
        const auto colour = fixtures::mean(*fromBaseline, QRect(0, 0, 900, 600));
        const auto level = fixtures::mean(*grey, QRect(0, 0, 900, 600));
        QCOMPARE(level[0], level[1]);
        QCOMPARE(level[1], level[2]);
        // Grey by the luma of sRGB: close to the colour picture's green-heavy mean.
        QVERIFY2(std::abs(level[1] - (colour[0] * 0.3 + colour[1] * 0.59 + colour[2] * 0.11)) < 12,
                 qPrintable(QString::number(level[1])));
    }

    void embeddedProfileIsHonoured() {
        // Pure red in Display P3, with and without the profile that says so.
        QImage red(64, 48, QImage::Format_RGBX8888);
        red.fill(QColor(255, 0, 0));
        for (bool tagged : {true, false}) {
            JpegCompressor::Options options;
            options.quality = 100;
            if (tagged)
                options.iccProfile = ColorProfile::displayP3().iccBytes();
            const auto bytes =
                JpegCompressor::encode(red.constBits(), red.width(), red.height(), red.bytesPerLine(),
                                       ColorKernel::Format::rgba8, options);
            QVERIFY(bytes.has_value());
            const QString path =
                dir_.filePath(tagged ? QStringLiteral("p3.jpg") : QStringLiteral("srgb.jpg"));
            QVERIFY(fixtures::writeAll(path, *bytes));
            const auto image = reader_.readScaled(path, 64);
            QVERIFY(image.has_value());
            const auto m = fixtures::mean(*image, QRect(16, 16, 32, 16));
            const std::array<int, 3> expected =
                tagged ? std::array<int, 3>{255, 0, 0} : fixtures::srgbInDisplayP3(qRgb(255, 0, 0));
            QVERIFY2(fixtures::distance(m, expected) < 3,
                     qPrintable(QStringLiteral("%1 %2 %3").arg(m[0]).arg(m[1]).arg(m[2])));
        }
    }

    void stripsEncodeTheSamePictureAsOnePass() {
        // Strips joined by restart markers decode to exactly the pixels of a
        // one-pass encode: strips of whole MCU rows, the last one short or not.
        for (const QSize size : {QSize(1000, 1100), QSize(1024, 1024), QSize(1500, 1000)}) {
            const QImage scene = SyntheticScene::landscape(size).convertToFormat(QImage::Format_RGBX8888);
            JpegCompressor::Options options;
            options.app1.append(QByteArray("Exif\0\0not really", 17));
            const auto encode = [&](const ParallelRunner* runner) {
                options.runner = runner;
                return JpegCompressor::encode(scene.constBits(), scene.width(), scene.height(),
                                              scene.bytesPerLine(), ColorKernel::Format::rgba8, options);
            };
            const auto whole = encode(nullptr);
            const auto striped = encode(&runner_);
            QVERIFY(whole && striped);
            QVERIFY(striped->contains(QByteArray("\xFF\xDD", 2))); // restart interval defined
            QVERIFY(striped->contains(QByteArray("Exif\0\0not really", 17)));
            QVERIFY(striped->endsWith(QByteArray("\xFF\xD9", 2)));
            const auto pixels = [](const QByteArray& jpeg) {
                auto decoder = JpegDecoder::openBytes(jpeg);
                if (!decoder || (*decoder)->size().isEmpty())
                    return QImage();
                QImage out((*decoder)->size(), QImage::Format_RGBX8888);
                const bool clean =
                    (*decoder)->decode(1, out.bits(), out.bytesPerLine()) && !(*decoder)->warnings();
                return clean ? out : QImage();
            };
            const QImage expected = pixels(*whole);
            QCOMPARE(expected.size(), size);
            QCOMPARE(pixels(*striped), expected);
            // A sink that refuses bytes fails the strip encode too.
            QVERIFY(!JpegCompressor::encode(scene.constBits(), scene.width(), scene.height(),
                                            scene.bytesPerLine(), ColorKernel::Format::rgba8, options,
                                            [](const unsigned char*, size_t) { return false; }));
        }
    }

    void truncatedFileGivesAPartialImageOrAnError() {
        const QByteArray whole = fixtures::readAll(fixtures::sample("ZRV_0001.JPG"));
        const QString path = dir_.filePath(u"cut.jpg"_s);
        // Through the planes (1400 of 2000) and the RGB decode at half scale.
        for (const QSize size : {QSize(1400, 933), QSize(1000, 667)}) {
            const QImage photo = *reader_.readScaled(fixtures::sample("ZRV_0001.JPG"), size.width());
            for (double share : {0.9, 0.5, 0.1, 0.01}) {
                QVERIFY(fixtures::writeAll(path, whole.left(qsizetype(whole.size() * share))));
                if (const auto image = reader_.readScaled(path, size.width())) {
                    QCOMPARE(image->size(), size);
                    // The top, decoded before the cut, is the photo.
                    QCOMPARE(image->pixel(size.width() / 2, 2), photo.pixel(size.width() / 2, 2));
                }
            }
        }
        QVERIFY(fixtures::writeAll(path, whole.left(100)));
        QVERIFY(!reader_.readScaled(path, 1000).has_value());
    }

    void damagedFilesNeverCrash() {
        const QByteArray whole = fixtures::readAll(fixtures::sample("ZRV_0007.JPG"));
        QRandomGenerator random(7);
        const QString path = dir_.filePath(QStringLiteral("damaged.jpg"));
        int failures = 0;
        for (int round = 0; round < 40; ++round) {
            QByteArray bytes = whole;
            // Bursts of noise in the header and in the coded data.
            for (int burst = 0; burst < 3; ++burst) {
                const qsizetype at = random.bounded(qsizetype(round < 20 ? 2000 : bytes.size() - 64));
                for (int i = 0; i < 32; ++i)
                    bytes[at + i] = char(random.bounded(256));
            }
            QVERIFY(fixtures::writeAll(path, bytes));
            // Through the RGB decode (a quarter, no resampling) and the planes.
            (void)reader_.readScaled(path, 700);
            if (const auto image = reader_.readScaled(path, 500); !image) {
                ++failures;
                QVERIFY(!image.error().message.isEmpty());
            } else {
                QVERIFY(std::max(image->width(), image->height()) <= 500);
                (void)reader_.readFull(path, QRect(0, 0, 100, 100), toDisplayP3);
            }
        }
        QVERIFY(failures > 0); // damage in headers must be caught
        QVERIFY(fixtures::writeAll(path, QByteArray("just some text, no image")));
        QVERIFY(!reader_.readScaled(path, 500).has_value());
    }
};

QTEST_GUILESS_MAIN(JpegReaderTest)
#include "JpegReaderTest.moc"
