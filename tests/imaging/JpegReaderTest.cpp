#include "ImagingFixtures.h"

#include "imaging/ColorConverter.h"
#include "imaging/ColorKernel.h"
#include "imaging/ColorMath.h"
#include "imaging/ColorProfile.h"
#include "imaging/JpegCompressor.h"
#include "imaging/JpegDecoder.h"
#include "imaging/JpegErrorManager.h"
#include "imaging/JpegReader.h"
#include "imaging/LanczosResampler.h"
#include "imaging/ParallelRunner.h"

#include <QColorSpace>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The same JPEG recoded as progressive, its coefficients untouched.
QByteArray progressiveCopy(const QByteArray& jpeg) {
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    JpegErrorManager inErrors, outErrors;
    inErrors.install(reinterpret_cast<j_common_ptr>(&in));
    outErrors.install(reinterpret_cast<j_common_ptr>(&out));
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_create_decompress(&in);
    jpeg_create_compress(&out);
    const bool ok = inErrors.guarded([&] {
        jpeg_mem_src(&in, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                     (unsigned long)(jpeg.size()));
        jpeg_read_header(&in, TRUE);
        jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
        outErrors.guarded([&] {
            jpeg_mem_dest(&out, &bytes, &size);
            jpeg_copy_critical_parameters(&in, &out);
            jpeg_simple_progression(&out);
            jpeg_write_coefficients(&out, coefficients);
            jpeg_finish_compress(&out);
        });
        jpeg_finish_decompress(&in);
    });
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    QByteArray result =
        ok && bytes ? QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size)) : QByteArray();
    std::free(bytes);
    return result;
}

// The file's own colour to Display P3, as the screen reads do it.
ColorKernel::Plan toDisplayP3(const ColorConverter::Source& source) {
    ColorChain chain;
    chain.appendAffine(ColorChain::Domain::linear, source.toDisplayP3);
    return ColorKernel::Plan{source.decode, chain.steps(), ColorKernel::srgbEncode(), true};
}

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
    void scaledReadFitsTheBound_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("maxPixel");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("larger than the file")
            << fixtures::sample("ZRV_0001.JPG") << 2560 << QSize(2000, 1333);
        QTest::newRow("half") << fixtures::sample("ZRV_0001.JPG") << 1000 << QSize(1000, 667);
        QTest::newRow("thumbnail") << fixtures::sample("ZRV_0004.JPG") << 240 << QSize(240, 160);
        QTest::newRow("portrait, orientation 6")
            << fixtures::sample("ZRV_0002.JPG") << 1000 << QSize(667, 1000);
        QTest::newRow("tiny") << fixtures::sample("ZRV_0007.JPG") << 37 << QSize(37, 25);
    }
    void scaledReadFitsTheBound() {
        QFETCH(QString, file);
        QFETCH(int, maxPixel);
        QFETCH(QSize, expected);
        const auto image = reader_.readScaled(file, maxPixel);
        QVERIFY2(image.has_value(), qPrintable(image ? QString() : image.error().message));
        QCOMPARE(image->size(), expected);
        QCOMPARE(image->format(), QImage::Format_RGBX8888);
        QCOMPARE(image->bytesPerLine(), qsizetype(image->width()) * 4);
        QCOMPARE(image->colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    }

    void decodesAtTheSmallestSufficientDctScale() {
        const QString path = fixtures::sample("ZRV_0001.JPG"); // 2000 x 1333
        auto decoder = JpegDecoder::openFile(path);
        QVERIFY(decoder.has_value());
        QCOMPARE((*decoder)->denominatorFor(2560), 1);
        QCOMPARE((*decoder)->denominatorFor(1000), 2);
        QCOMPARE((*decoder)->denominatorFor(500), 4);
        QCOMPARE((*decoder)->denominatorFor(250), 8);
        QCOMPARE((*decoder)->denominatorFor(251), 4);
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
        for (int maxPixel : {600, 300}) {
            const auto image = reader_.readScaled(path, maxPixel);
            QVERIFY(image.has_value());
            QCOMPARE(image->size(), QSize(maxPixel, maxPixel * 2 / 3));
            const QRgb colours[3] = {SyntheticScene::kPatternRed, SyntheticScene::kPatternGreen,
                                     SyntheticScene::kPatternBlue};
            for (int q = 0; q < 3; ++q) {
                const double d =
                    fixtures::distance(fixtures::mean(*image, fixtures::quadrant(image->size(), q)),
                                       fixtures::srgbInDisplayP3(colours[q]));
                QVERIFY2(d < 4, qPrintable(QStringLiteral("quadrant %1 off by %2").arg(q).arg(d)));
            }
            // The ramp runs from dark at its left to light at its right.
            const QRect ramp = fixtures::quadrant(image->size(), 3);
            const auto left =
                fixtures::mean(*image, QRect(ramp.left() - ramp.width(), ramp.top(), 4, ramp.height()));
            const auto right =
                fixtures::mean(*image, QRect(ramp.right() + ramp.width() - 4, ramp.top(), 4, ramp.height()));
            QVERIFY(left[1] + 60 < right[1]);
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
        double sum = 0;
        int worst = 0;
        for (int y = 0; y < shrunk.height(); ++y) {
            for (int x = 0; x < shrunk.width() * 4; ++x) {
                const int d = std::abs(int(shrunk.constScanLine(y)[x]) - int(image->constScanLine(y)[x]));
                sum += d;
                worst = std::max(worst, d);
            }
        }
        const double mean = sum / (shrunk.width() * shrunk.height() * 4.0);
        QVERIFY2(mean < 0.3 && worst <= 32,
                 qPrintable(QStringLiteral("mean %1, worst %2").arg(mean).arg(worst)));
    }

    void progressiveAndGreyJpegsDecode() {
        // Not what cameras write, but what a chosen folder may hold: a
        // progressive colour JPEG (its planes come only after every scan) and
        // a grey one (no planes to resample: decoded as RGB).
        const QImage picture = SyntheticScene::landscape(QSize(1200, 800));
        const QString baseline = fixtures::cameraJpeg(dir_.path(), QStringLiteral("baseline.jpg"), picture);
        QVERIFY(!baseline.isEmpty());
        const QByteArray progressive = progressiveCopy(fixtures::readAll(baseline));
        QVERIFY(!progressive.isEmpty());
        const QString progressivePath = dir_.filePath(QStringLiteral("progressive.jpg"));
        QVERIFY(fixtures::writeAll(progressivePath, progressive));
        const QString greyPath = dir_.filePath(QStringLiteral("grey.jpg"));
        QVERIFY(picture.convertToFormat(QImage::Format_Grayscale8).save(greyPath, "JPG", 92));

        const auto fromBaseline = reader_.readScaled(baseline, 900);
        const auto fromProgressive = reader_.readScaled(progressivePath, 900);
        QVERIFY(fromBaseline.has_value() && fromProgressive.has_value());
        // The same coefficients, rescanned: the same pixels.
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
                QImage out;
                if (!decoder || (*decoder)->size().isEmpty())
                    return out;
                out = QImage((*decoder)->size(), QImage::Format_RGBX8888);
                if (!(*decoder)->decode(1, out.bits(), out.bytesPerLine()) || (*decoder)->warnings() > 0)
                    return QImage();
                return out;
            };
            const QImage expected = pixels(*whole);
            QCOMPARE(expected.size(), size);
            QCOMPARE(pixels(*striped), expected);
        }
        // A sink that refuses bytes fails the strip encode too.
        const QImage scene =
            SyntheticScene::landscape(QSize(1200, 1000)).convertToFormat(QImage::Format_RGBX8888);
        JpegCompressor::Options options;
        options.runner = &runner_;
        const auto refused = JpegCompressor::encode(scene.constBits(), scene.width(), scene.height(),
                                                    scene.bytesPerLine(), ColorKernel::Format::rgba8, options,
                                                    [](const unsigned char*, size_t) { return false; });
        QVERIFY(!refused.has_value());
    }

    void missingFileIsAnError() {
        const auto image = reader_.readScaled(dir_.filePath(QStringLiteral("missing.jpg")), 2560);
        QVERIFY(!image.has_value());
        QVERIFY(!image.error().message.isEmpty());
        QVERIFY(
            !reader_.readFull(dir_.filePath(QStringLiteral("missing.jpg")), QRect(0, 0, 1, 1), toDisplayP3)
                 .has_value());
    }

    void truncatedFileGivesAPartialImageOrAnError() {
        const QByteArray whole = fixtures::readAll(fixtures::sample("ZRV_0001.JPG"));
        for (double share : {0.9, 0.5, 0.1, 0.01}) {
            const QString path = dir_.filePath(QStringLiteral("cut.jpg"));
            QVERIFY(fixtures::writeAll(path, whole.left(qsizetype(whole.size() * share))));
            if (const auto planar = reader_.readScaled(path, 1400); planar) {
                QCOMPARE(planar->size(), QSize(1400, 933));
                QCOMPARE(reader_.readScaled(fixtures::sample("ZRV_0001.JPG"), 1400)->pixel(700, 2),
                         planar->pixel(700, 2));
            }
            const auto image = reader_.readScaled(path, 1000);
            if (image) {
                QCOMPARE(image->size(), QSize(1000, 667));
                // The top, decoded before the cut, is the photo.
                QCOMPARE(reader_.readScaled(fixtures::sample("ZRV_0001.JPG"), 1000)->pixel(500, 2),
                         image->pixel(500, 2));
            }
        }
        const QString header = dir_.filePath(QStringLiteral("header.jpg"));
        QVERIFY(fixtures::writeAll(header, whole.left(100)));
        QVERIFY(!reader_.readScaled(header, 1000).has_value());
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
            const auto image = reader_.readScaled(path, 500);
            if (!image) {
                ++failures;
                QVERIFY(!image.error().message.isEmpty());
            } else {
                QVERIFY(std::max(image->width(), image->height()) <= 500);
            }
            if (image)
                (void)reader_.readFull(path, QRect(0, 0, 100, 100), toDisplayP3);
        }
        QVERIFY(failures > 0); // damage in headers must be caught
        const QString notJpeg = dir_.filePath(QStringLiteral("text.jpg"));
        QVERIFY(fixtures::writeAll(notJpeg, QByteArray("just some text, no image")));
        QVERIFY(!reader_.readScaled(notJpeg, 500).has_value());
    }
};

QTEST_GUILESS_MAIN(JpegReaderTest)
#include "JpegReaderTest.moc"
