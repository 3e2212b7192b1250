#include "imaging/ImagingFixtures.h"

#include "imaging/codec/ExclusiveFile.h"
#include "imaging/codec/ImageMetadata.h"
#include "imaging/render/BitmapCache.h"
#include "imaging/render/ImageRenderer.h"
#include "platform/Background.h"

#include "samplegen/Rw2Writer.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <csignal>
#include <exiv2/exiv2.hpp>
#include <fcntl.h>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

Shot shotOf(const QString& name, ShotFiles files) {
    Shot shot;
    shot.id = name.toUpper();
    shot.name = name;
    shot.files = std::move(files);
    return shot;
}

Edit monoEdit() {
    Edit edit;
    edit.look = Look::mono;
    edit.adjustments.exposure = 0.3;
    return edit;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Makes every write of this process beyond `bytes` fail (EFBIG) while alive.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// Exiv2's reading of one key of a file, independent of the renderer's own.
QString exivValue(const QString& path, const char* key) {
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    const auto found = image->exifData().findKey(Exiv2::ExifKey(key));
    return found == image->exifData().end() ? QString() : QString::fromStdString(found->toString());
}

} // namespace

class ImageRendererTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // 3000 x 2000 upright, stored turned (orientation 6) as a camera held upright would.
        portrait_ = fixtures::cameraJpeg(dir_.path(), u"PORTRAIT.JPG"_s,
                                         SyntheticScene::landscape(QSize(2000, 3000)), 6);
        wide_ =
            fixtures::cameraJpeg(dir_.path(), u"WIDE.JPG"_s, SyntheticScene::landscape(QSize(3000, 2000)));
        QVERIFY(!portrait_.isEmpty() && !wide_.isEmpty());
    }

    void baseIsCappedCachedAndReturnedForAnUnchangedEdit() {
        ImageRenderer renderer;
        // Upright, from the header alone before any decode.
        QCOMPARE(renderer.pixelSize(portrait_), std::optional(QSize(2000, 3000)));
        const auto base = renderer.base(wide_, ShotFormat::jpeg);
        QVERIFY(base);
        QCOMPARE(base->size(), QSize(2560, 1707));
        QCOMPARE(base->colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        // Cached: answered with the file gone, and an unchanged edit renders
        // to the very same pixels, with no new render.
        const QString gone = dir_.filePath(u"GONE.JPG"_s);
        QVERIFY(QFile::copy(wide_, gone));
        QVERIFY(renderer.base(gone, ShotFormat::jpeg));
        QVERIFY(QFile::remove(gone));
        const auto cached = renderer.base(gone, ShotFormat::jpeg);
        QVERIFY(cached);
        QCOMPARE(cached->size(), QSize(2560, 1707));
        QCOMPARE(*renderer.render(gone, ShotFormat::jpeg, Edit{}), *cached);
        const auto edited = renderer.render(wide_, ShotFormat::jpeg, monoEdit());
        QVERIFY(edited && *edited != *base);
        QCOMPARE(edited->size(), base->size());

        // A crop frames the same part of the screen image and of the full one.
        Edit crop;
        crop.crop = UnitRect{0.25, 0.5, 0.5, 0.5};
        QCOMPARE(renderer.render(wide_, ShotFormat::jpeg, crop)->size(), QSize(1280, 854));
        QCOMPARE(renderer.fullResolution(wide_, ShotFormat::jpeg, crop)->size(), QSize(1500, 1000));
        QCOMPARE(renderer.fullResolution(portrait_, ShotFormat::jpeg, Edit{})->size(), QSize(2000, 3000));
        // The full-size render of an edited, cropped, turned photo (made as
        // libjpeg decodes) shows what the screen render shows.
        const Edit framed{Look::chrome, Adjustments{0.4, 1.15, 1.2, 0.3}, UnitRect{0.1, 0.2, 0.6, 0.5}};
        const auto screen = renderer.render(portrait_, ShotFormat::jpeg, framed);
        const auto detail = renderer.fullResolution(portrait_, ShotFormat::jpeg, framed);
        QVERIFY(screen && detail);
        QCOMPARE(detail->size(), QSize(1200, 1500));
        const QImage shrunk = detail->scaled(screen->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        for (int q = 0; q < 4; ++q) {
            const auto a = fixtures::mean(shrunk, fixtures::quadrant(shrunk.size(), q));
            const double d =
                fixtures::distance(a, fixtures::mean(*screen, fixtures::quadrant(screen->size(), q)));
            QVERIFY2(d < 4, qPrintable(QStringLiteral("quadrant %1 off by %2").arg(q).arg(d)));
        }

        // RAW files are developed, at reduced size for the screen and whole for the detail.
        const QString raw = fixtures::sample("ZRV_0005.DNG");
        const auto developed = renderer.base(raw, ShotFormat::raw);
        const auto full = renderer.fullResolution(raw, ShotFormat::raw, Edit{});
        QVERIFY(developed && full);
        QCOMPARE(developed->size(), full->size()); // the sample RAW is smaller than the cap
        QCOMPARE(full->colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        QCOMPARE(renderer.pixelSize(raw), std::optional(full->size()));
    }

    void unreadableFilesSayWhichAndCacheNothing() {
        ImageRenderer renderer;
        const QString missing = dir_.filePath(u"MISSING.JPG"_s);
        const auto result = renderer.render(missing, ShotFormat::jpeg, Edit{});
        QVERIFY(!result);
        QCOMPARE(result.error(), RenderError::unreadable(missing));
        QCOMPARE(result.error().description(), u"Can't read MISSING.JPG."_s);
        QCOMPARE(renderer.fullResolution(missing, ShotFormat::jpeg, Edit{}).error(),
                 RenderError::unreadable(missing));
        QVERIFY(!renderer.thumbnail(missing));
        QVERIFY(!renderer.pixelSize(missing));

        // Damaged files: a header and nothing else, a RAW that is not one. (Half a
        // JPEG is in JpegReaderTest and BoundedDecodingTest.)
        const QByteArray good = fixtures::readAll(wide_);
        const QString header = dir_.filePath(u"HEADER.JPG"_s), fakeRaw = dir_.filePath(u"FAKE.DNG"_s);
        QVERIFY(fixtures::writeAll(header, good.left(600)));
        QVERIFY(fixtures::writeAll(fakeRaw, QByteArray(4096, 'x')));
        QVERIFY(!renderer.base(header, ShotFormat::jpeg));
        QVERIFY(!renderer.fullResolution(header, ShotFormat::jpeg, Edit{}));
        QVERIFY(!renderer.base(fakeRaw, ShotFormat::raw));
        QCOMPARE(renderer.fullResolution(fakeRaw, ShotFormat::raw, Edit{}).error(),
                 RenderError::unreadable(fakeRaw));
        // Once the file is there, the next attempt reads it.
        QVERIFY(QFile::copy(wide_, missing));
        QVERIFY(renderer.render(missing, ShotFormat::jpeg, Edit{}));
    }

    void forgetMakesTheNextReadDecodeAgain() {
        QTemporaryDir dir;
        const QString path =
            fixtures::cameraJpeg(dir.path(), u"A.JPG"_s, SyntheticScene::testPattern(QSize(600, 400)));
        ImageRenderer renderer;
        const auto base = renderer.base(path, ShotFormat::jpeg);
        const auto thumbnail = renderer.thumbnail(path);
        QVERIFY(base && thumbnail);
        QCOMPARE(renderer.pixelSize(path), std::optional(QSize(600, 400)));

        // Another picture under the same name: the caches still answer the old one...
        QVERIFY(QFile::remove(path));
        QVERIFY(!fixtures::cameraJpeg(dir.path(), u"A.JPG"_s, SyntheticScene::landscape(QSize(300, 500)))
                     .isEmpty());
        QCOMPARE(renderer.base(path, ShotFormat::jpeg)->size(), QSize(600, 400));
        QCOMPARE(renderer.thumbnail(path)->size(), thumbnail->size());
        QCOMPARE(renderer.pixelSize(path), std::optional(QSize(600, 400)));
        // ...until it is forgotten.
        renderer.forget({path, dir.filePath(u"OTHER.RW2"_s)});
        QCOMPARE(renderer.base(path, ShotFormat::jpeg)->size(), QSize(300, 500));
        QCOMPARE(renderer.thumbnail(path)->size(), QSize(72, 120)); // the new EXIF thumbnail, bars cut off
        QCOMPARE(renderer.pixelSize(path), std::optional(QSize(300, 500)));
    }

    void thumbnailsComeFromThePreviewAndStandUpright() {
        ImageRenderer renderer;
        // A camera JPEG: its 160 x 120 EXIF thumbnail, black bars cut off.
        const auto camera = renderer.thumbnail(fixtures::sample("ZRV_0001.JPG"));
        QVERIFY(camera);
        QCOMPARE(camera->width(), 160);
        // Kept by the thousand: answered in three bytes a pixel.
        QCOMPARE(camera->depth(), 24);
        QCOMPARE(renderer.cachedThumbnail(fixtures::sample("ZRV_0001.JPG"))->depth(), 24);
        // Portrait: upright.
        const auto portrait = renderer.thumbnail(portrait_);
        QVERIFY(portrait && portrait->height() > portrait->width() && portrait->height() <= 240);
        // RAW previews: BoundedDecodingTest and RawDevelopmentTest.
        // No preview at all: decoded at a reduced scale to at most 240.
        QTemporaryDir dir;
        const QString plain = dir.filePath(u"PLAIN.JPG"_s);
        QVERIFY(SyntheticScene::landscape(QSize(1200, 800)).save(plain, "JPEG", 90));
        QCOMPARE(renderer.thumbnail(plain)->size(), QSize(240, 160));
    }

    void jpegDataIsScaledDownNeverUp() {
        ImageRenderer renderer;
        for (const QSize size : {QSize(1000, 800), QSize(6000, 4000)}) {
            QImage image(size, QImage::Format_RGBX8888);
            image.fill(QColor(200, 40, 40));
            image.setColorSpace(QColorSpace::DisplayP3);
            const auto jpeg = renderer.jpegData(image, 1920, 0.88);
            QVERIFY(jpeg);
            const QImage decoded = QImage::fromData(*jpeg, "JPEG");
            QCOMPARE(decoded.size(), size.width() > 1920 ? QSize(1920, 1280) : size);
            // Encoded in sRGB: a Display P3 red is more saturated than sRGB can say.
            QVERIFY(decoded.pixelColor(decoded.width() / 2, decoded.height() / 2).red() > 200);
        }
        QVERIFY(!renderer.jpegData(QImage(), 1920, 0.88));
    }

    void exportCopiesAreNamedAndNeverOverwrite() {
        QTemporaryDir out;
        const QString folder = out.filePath(u"Pictures/Zorva Edits"_s); // made when missing
        ImageRenderer renderer;
        const Shot shot = shotOf(u"WIDE"_s, ShotFiles::jpegOnly(wide_));
        QStringList names;
        for (int i = 0; i < 3; ++i) {
            const auto saved = renderer.exportCopy(shot, ShotFormat::jpeg, monoEdit(), folder);
            QVERIFY(saved);
            names.append(QFileInfo(*saved).fileName());
        }
        QCOMPARE(names, (QStringList{u"WIDE edit.jpg"_s, u"WIDE edit 2.jpg"_s, u"WIDE edit 3.jpg"_s}));
        const QDir edits(folder);

        // A file that is there already keeps its bytes.
        QVERIFY(fixtures::writeAll(edits.filePath(names[1]), "mine"));
        QVERIFY(QFile::remove(edits.filePath(names[0])));
        QCOMPARE(QFileInfo(*renderer.exportCopy(shot, ShotFormat::jpeg, monoEdit(), folder)).fileName(),
                 u"WIDE edit.jpg"_s);
        QCOMPARE(QFileInfo(*renderer.exportCopy(shot, ShotFormat::jpeg, monoEdit(), folder)).fileName(),
                 u"WIDE edit 4.jpg"_s);
        QCOMPARE(fixtures::readAll(edits.filePath(names[1])), QByteArray("mine"));
        // Nothing half-written or temporary is left.
        QCOMPARE(filesIn(folder), (QStringList{u"WIDE edit 2.jpg"_s, u"WIDE edit 3.jpg"_s,
                                               u"WIDE edit 4.jpg"_s, u"WIDE edit.jpg"_s}));

        // A RAW with a crop; a shot without the format asked for.
        const QString raw = fixtures::sample("ZRV_0003.RW2");
        Edit crop;
        crop.crop = UnitRect{0, 0, 0.5, 0.5};
        const Shot pair = shotOf(u"ZRV_0003"_s, ShotFiles::both(fixtures::sample("ZRV_0003.jpg"), raw));
        const auto rawCopy = renderer.exportCopy(pair, ShotFormat::raw, crop, folder);
        QVERIFY(rawCopy);
        QCOMPARE(QFileInfo(*rawCopy).fileName(), u"ZRV_0003 RAW crop.jpg"_s);
        QCOMPARE(renderer.exportCopy(shot, ShotFormat::raw, crop, folder).error(),
                 RenderError::unreadable(wide_));
    }

    void exportCopiesCarryTheCameraMetadata() {
        QTemporaryDir out;
        ImageRenderer renderer;
        const auto saved = renderer.exportCopy(shotOf(u"PORTRAIT"_s, ShotFiles::jpegOnly(portrait_)),
                                               ShotFormat::jpeg, monoEdit(), out.path());
        QVERIFY(saved);
        QImageReader reader(*saved);
        reader.setAutoTransform(false);
        const QImage written = reader.read();
        QCOMPARE(written.size(), QSize(2000, 3000)); // upright pixels
        QCOMPARE(written.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        const auto metadata = ImageMetadata::read(*saved);
        QVERIFY(metadata);
        QCOMPARE(metadata->orientation(), 1);
        QCOMPARE(metadata->value(u"Exif.Image.Make"_s), std::optional(u"ZORVA"_s));
        QCOMPARE(metadata->value(u"Exif.Photo.DateTimeOriginal"_s), std::optional(u"2024:05:17 09:30:00"_s));
        QVERIFY(metadata->hasGroup(ImageMetadata::Group::gps));
        QCOMPARE(metadata->value(u"Exif.Photo.PixelXDimension"_s), std::optional(u"2000"_s));

        // From a DNG: no DNG tags and no RAW structure in the copy, the camera's own kept.
        const QString dng = fixtures::sample("ZRV_0005.DNG");
        QVERIFY(ImageMetadata::read(dng)->hasGroup(ImageMetadata::Group::dng));
        const auto fromRaw = renderer.exportCopy(shotOf(u"ZRV_0005"_s, ShotFiles::rawOnly(dng)),
                                                 ShotFormat::raw, monoEdit(), out.path());
        QVERIFY(fromRaw);
        QCOMPARE(QFileInfo(*fromRaw).fileName(), u"ZRV_0005 RAW edit.jpg"_s);
        const auto rawMetadata = ImageMetadata::read(*fromRaw);
        QVERIFY(rawMetadata);
        QVERIFY(!rawMetadata->hasGroup(ImageMetadata::Group::dng));
        QCOMPARE(rawMetadata->orientation(), 1);
        QCOMPARE(rawMetadata->value(u"Exif.Image.Model"_s),
                 ImageMetadata::read(dng)->value(u"Exif.Image.Model"_s));
        QVERIFY(!rawMetadata->value(u"Exif.Image.StripOffsets"_s));

        // From an RW2 without a preview, whose camera tags live in the maker's own directory.
        CaptureInfo info;
        info.captured = QDateTime(QDate(2024, 6, 15), QTime(9, 9, 2));
        info.iso = 800;
        const QString rw2 = out.filePath(u"P1000001.RW2"_s);
        QVERIFY(
            Rw2Writer::write(rw2, SyntheticScene::landscape(QSize(448, 320)), info, {.previewLongSide = 0}));
        const auto fromRw2 = renderer.exportCopy(shotOf(u"P1000001"_s, ShotFiles::rawOnly(rw2)),
                                                 ShotFormat::raw, Edit{}, out.path());
        QVERIFY(fromRw2);
        for (const auto& [key, value] : {std::pair{"Exif.Image.Make", "Panasonic"},
                                         {"Exif.Image.Model", "DC-G9"},
                                         {"Exif.Photo.ISOSpeedRatings", "800"},
                                         {"Exif.Image.DateTime", "2024:06:15 09:09:02"},
                                         {"Exif.Photo.DateTimeOriginal", "2024:06:15 09:09:02"},
                                         {"Exif.Image.Orientation", "1"}})
            QCOMPARE(exivValue(*fromRw2, key), QLatin1String(value));
    }

    // A FIFO or socket named like a photo: every operation answers "Can't
    // read" at once instead of waiting for a writer that never comes.
    void specialFilesAreRefusedAtOnce() {
        QTemporaryDir dir;
        struct Case {
            QString path;
            ShotFormat format;
        };
        const QList<Case> cases{{dir.filePath(u"FIFO.JPG"_s), ShotFormat::jpeg},
                                {dir.filePath(u"FIFO.DNG"_s), ShotFormat::raw},
                                {dir.filePath(u"SOCKET.JPG"_s), ShotFormat::jpeg},
                                {dir.filePath(u"SOCKET.DNG"_s), ShotFormat::raw}};
        for (int i = 0; i < 2; ++i)
            QCOMPARE(::mkfifo(QFile::encodeName(cases[i].path).constData(), 0644), 0);
        QLocalServer jpegSocket, rawSocket;
        QVERIFY(jpegSocket.listen(cases[2].path) && rawSocket.listen(cases[3].path));

        ImageRenderer renderer;
        auto run = std::async(std::launch::async, [&] {
            QStringList wrong;
            for (const Case& c : cases) {
                const RenderError error = RenderError::unreadable(c.path);
                const Shot shot = shotOf(u"ODD"_s, c.format == ShotFormat::raw ? ShotFiles::rawOnly(c.path)
                                                                               : ShotFiles::jpegOnly(c.path));
                if (renderer.base(c.path, c.format) != std::unexpected(error) ||
                    renderer.render(c.path, c.format, monoEdit()) != std::unexpected(error) ||
                    renderer.fullResolution(c.path, c.format, Edit{}) != std::unexpected(error) ||
                    renderer.thumbnail(c.path) || renderer.pixelSize(c.path) ||
                    renderer.exportCopy(shot, c.format, Edit{}, dir.filePath(u"out"_s)) !=
                        std::unexpected(error))
                    wrong << QFileInfo(c.path).fileName();
            }
            return wrong;
        });
        if (run.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            // Lets the blocked opens go on so that the test can end.
            while (run.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
                for (int i = 0; i < 2; ++i) {
                    const int fd =
                        ::open(QFile::encodeName(cases[i].path).constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0)
                        ::close(fd);
                }
            }
            QFAIL("an operation waited on a FIFO");
        }
        QCOMPARE(run.get(), QStringList());
    }

    // Orientation stored as any integer type counts, as Exiv2 reads it.
    void orientationOfAnyIntegerType() {
        QTemporaryDir dir;
        const QString path = fixtures::cameraJpeg(dir.path(), u"TURNED.JPG"_s,
                                                  SyntheticScene::testPattern(QSize(600, 400)), 6);
        QVERIFY(!path.isEmpty());
        for (const Exiv2::TypeId type :
             {Exiv2::unsignedByte, Exiv2::unsignedLong, Exiv2::signedShort, Exiv2::signedLong}) {
            auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
            image->readMetadata();
            Exiv2::ExifData exif = image->exifData();
            auto value = Exiv2::Value::create(type);
            QCOMPARE(value->read("6"), 0);
            exif["Exif.Image.Orientation"].setValue(value.get());
            image->setExifData(exif);
            image->writeMetadata();
            QCOMPARE(exivValue(path, "Exif.Image.Orientation"), u"6"_s);
            ImageRenderer renderer;
            QCOMPARE(renderer.pixelSize(path), std::optional(QSize(600, 400)));
            QCOMPARE(renderer.base(path, ShotFormat::jpeg)->size(), QSize(600, 400));
            QCOMPARE(renderer.fullResolution(path, ShotFormat::jpeg, Edit{})->size(), QSize(600, 400));
            const auto thumbnail = renderer.thumbnail(path);
            QVERIFY(thumbnail && thumbnail->width() > thumbnail->height());
        }
    }

    void failedWritesLeaveNothing() {
        QTemporaryDir out;
        ImageRenderer renderer;
        const Shot shot = shotOf(u"WIDE"_s, ShotFiles::jpegOnly(wide_));
        const QString destination = out.filePath(u"WIDE edit.jpg"_s);
        if (::geteuid() != 0) {
            // A folder the user cannot write.
            QVERIFY(QFile::setPermissions(out.path(), QFile::ReadOwner | QFile::ExeOwner));
            const auto denied = renderer.exportCopy(shot, ShotFormat::jpeg, Edit{}, out.path());
            QFile::setPermissions(out.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QCOMPARE(denied.error(), RenderError::cannotWrite(destination));
            QCOMPARE(denied.error().description(), u"Can't save WIDE edit.jpg."_s);
            QVERIFY(filesIn(out.path()).isEmpty());
        }
        // The disk fills up half way through the file (root ignores permissions).
        const auto diskFull = [&] {
            const FileSizeLimit limit(64 * 1024);
            return renderer.exportCopy(shot, ShotFormat::jpeg, Edit{}, out.path());
        };
        const auto full = diskFull();
        QVERIFY(!full);
        QCOMPARE(full.error(), RenderError::cannotWrite(destination));
        QVERIFY(filesIn(out.path()).isEmpty());
        // The same when the copy was going to the second name: that is the one named.
        QVERIFY(fixtures::writeAll(destination, "an earlier copy"));
        const auto fullAtSecondName = diskFull();
        QVERIFY(!fullAtSecondName);
        QCOMPARE(fullAtSecondName.error().description(), u"Can't save WIDE edit 2.jpg."_s);
        QCOMPARE(filesIn(out.path()), QStringList{u"WIDE edit.jpg"_s});
        QVERIFY(QFile::remove(destination));

        // The folder cannot be made: the file system's own words.
        QVERIFY(fixtures::writeAll(out.filePath(u"Pictures"_s), "a file"));
        const auto noFolder =
            renderer.exportCopy(shot, ShotFormat::jpeg, Edit{}, out.filePath(u"Pictures/Edits"_s));
        QVERIFY(!noFolder);
        QCOMPARE(noFolder.error().kind, RenderError::Kind::fileSystem);
        QVERIFY2(noFolder.error().description().contains(u"Edits"_s),
                 qPrintable(noFolder.error().description()));
    }

    void exclusiveFilesAppearWholeUnderAFreeName() {
        QTemporaryDir out;
        // The first name is taken while the file is being written.
        auto file = ExclusiveFile::create(out.path());
        QVERIFY(file);
        QCOMPARE(::write(file->fd(), "new", 3), 3);
        const auto published = file->publish([&](int n) {
            const QString name = u"copy %1.jpg"_s.arg(n);
            if (n == 1)
                fixtures::writeAll(out.filePath(name), "theirs");
            return name;
        });
        QVERIFY(published);
        QCOMPARE(*published, out.filePath(u"copy 2.jpg"_s));
        QCOMPARE(fixtures::readAll(out.filePath(u"copy 1.jpg"_s)), QByteArray("theirs"));
        QCOMPARE(fixtures::readAll(out.filePath(u"copy 2.jpg"_s)), QByteArray("new"));
        QCOMPARE(filesIn(out.path()).size(), 2);
    }

    void bitmapCacheEvictsTheLeastRecentlyUsed() {
        BitmapCache cache(3);
        const QImage image(4, 4, QImage::Format_RGBX8888);
        for (const QString& key : {u"a"_s, u"b"_s, u"c"_s})
            cache.insert(key, image);
        QVERIFY(cache.value(u"a"_s)); // a is now the most recent
        cache.insert(u"d"_s, image);
        QCOMPARE(cache.count(), 3);
        QVERIFY(!cache.value(u"b"_s));
        QVERIFY(cache.value(u"a"_s) && cache.value(u"c"_s) && cache.value(u"d"_s));
        // A bitmap made while its file was forgotten (even before it was
        // ever stored) is not kept: it may show the file as it was.
        const quint64 before = cache.stamp();
        cache.remove(u"c"_s);
        cache.remove(u"zz"_s);
        QCOMPARE(cache.count(), 2);
        cache.insertUnlessRemovedSince(u"zz"_s, image, before);
        QVERIFY(!cache.value(u"zz"_s));
        cache.insertUnlessRemovedSince(u"zz"_s, image, cache.stamp());
        QVERIFY(cache.value(u"zz"_s));
    }

    void manyThreadsAtOnce() {
        // Screen renders, prefetches, thumbnails, details and forgets of a few
        // files from eight threads: every answer is right, nothing crashes.
        ImageRenderer renderer;
        const QStringList files{wide_, portrait_, fixtures::sample("ZRV_0001.JPG"),
                                fixtures::sample("ZRV_0002.JPG")};
        const QList<QSize> sizes{QSize(2560, 1707), QSize(1707, 2560), QSize(2000, 1333), QSize(1333, 2000)};
        std::atomic<int> wrong = 0;
        QThreadPool pool;
        pool.setMaxThreadCount(8);
        QList<Background::Done> tasks;
        for (int task = 0; task < 8; ++task) {
            tasks.append(Background::run(&pool, [&, task] {
                for (int i = 0; i < 12; ++i) {
                    const int k = (task + i) % int(files.size());
                    switch ((task + i) % 4) {
                    case 0:
                        if (renderer.base(files[k], ShotFormat::jpeg)->size() != sizes[k])
                            ++wrong;
                        break;
                    case 1:
                        if (renderer.render(files[k], ShotFormat::jpeg, monoEdit())->size() != sizes[k])
                            ++wrong;
                        break;
                    case 2:
                        if (!renderer.thumbnail(files[k]) || !renderer.pixelSize(files[k]))
                            ++wrong;
                        break;
                    case 3:
                        renderer.forget({files[k]});
                        break;
                    }
                }
            }));
        }
        for (const Background::Done& task : tasks)
            task->wait();
        QCOMPARE(wrong.load(), 0);
    }

private:
    QTemporaryDir dir_;
    QString portrait_;
    QString wide_;
};

QTEST_GUILESS_MAIN(ImageRendererTest)
#include "ImageRendererTest.moc"
