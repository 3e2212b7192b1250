#include "tools/FileInspection.h"

#include "card/PhotoScanner.h"
#include "samplegen/SampleCard.h"

#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString kCard = QStringLiteral(ZV_SOURCE_DIR "/samples/card/DCIM");

QDir folderOf(const QString& dcim) {
    return QDir(dcim).filePath(QString::fromLatin1(SampleCard::kFolder));
}

} // namespace

// The committed sample card: what the viewer shows a new user first.
class SampleCardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The scanner pairs the files as intended: at least two JPEG + RAW pairs,
    // one RAW-only shot and a portrait. Every file carries its shot's capture
    // time, orientation and the camera's make; the RAWs develop, the JPEGs
    // have thumbnails, and both show upright at their sizes. All of it stays
    // under 5 MiB.
    void holdsTheIntendedGenuineShots() {
        const QList<Shot> shots = PhotoScanner::shots(kCard);
        QCOMPARE(shots.size(), SampleCard::samples().size());
        QMap<ShotFiles::Case, int> kinds;
        int portraits = 0;
        for (const SampleCard::Sample& sample : SampleCard::samples()) {
            const QString name = QFileInfo(sample.fileNames().front()).completeBaseName();
            const auto shot = std::ranges::find(shots, name, &Shot::name);
            QVERIFY2(shot != shots.end(), qPrintable(name));
            const auto kind = sample.jpeg.isEmpty()  ? ShotFiles::Case::rawOnly
                              : sample.raw.isEmpty() ? ShotFiles::Case::jpegOnly
                                                     : ShotFiles::Case::both;
            QCOMPARE(shot->files.kind(), kind);
            ++kinds[kind];
            portraits += sample.info.orientation == 6 && !sample.jpeg.isEmpty();
            QStringList files;
            for (const QString& path : shot->files.all()) {
                files << QFileInfo(path).fileName();
                const auto read = inspection::metadata(path);
                QVERIFY2(read, qPrintable(path + u": "_s + inspection::failure(read)));
                const QString wrongTag = inspection::tagMismatch(
                    read->tags,
                    {u"Photo.DateTimeOriginal="_s + sample.info.exifDateTime(), u"Image.Make=ZORVA"_s,
                     u"Image.Orientation="_s + QString::number(sample.info.orientation)});
                QVERIFY2(wrongTag.isEmpty(), qPrintable(path + u": "_s + wrongTag));
                if (files.last() == sample.raw) {
                    const auto developed = inspection::libRaw(path, true);
                    QVERIFY2(developed, qPrintable(path + u": "_s + inspection::failure(developed)));
                    QCOMPARE(developed->size(), sample.rawSize);
                } else {
                    QVERIFY(!read->thumbnail.isNull());
                    QImageReader reader(path);
                    reader.setAutoTransform(true);
                    QCOMPARE(reader.read().size(), sample.jpegSize);
                }
            }
            QCOMPARE(files, sample.fileNames());
        }
        QVERIFY(kinds[ShotFiles::Case::both] >= 2);
        QCOMPARE(kinds[ShotFiles::Case::rawOnly], 1);
        QVERIFY(portraits > 0);

        qint64 total = 0;
        for (QDirIterator it(kCard, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            total += it.nextFileInfo().size();
        QVERIFY(total > 1024 * 1024);
        QVERIFY2(total < 5 * 1024 * 1024, qPrintable(QString::number(total)));
    }

    // A checkout's file times are arbitrary. Touching names the files it
    // misses and still times the others; on a full copy the viewer then lists
    // the shots newest first in the order they were taken.
    void touchRestoresTheCaptureOrder() {
        QTemporaryDir dir;
        const QDir copy = folderOf(dir.path());
        QVERIFY(QDir().mkpath(copy.path()));
        const QList<SampleCard::Sample> samples = SampleCard::samples();
        const QString first = samples.front().jpeg;
        QVERIFY(QFile::copy(folderOf(kCard).filePath(first), copy.filePath(first)));
        const auto partly = SampleCard::touch(dir.path());
        QVERIFY(!partly);
        QVERIFY2(partly.error().contains(u"ZRV_0005.DNG"_s), qPrintable(partly.error()));
        QVERIFY(!partly.error().contains(first));
        QCOMPARE(QFileInfo(copy.filePath(first)).lastModified(), samples.front().info.captured);

        for (const QFileInfo& file : folderOf(kCard).entryInfoList(QDir::Files))
            QVERIFY(QFile::exists(copy.filePath(file.fileName())) ||
                    QFile::copy(file.filePath(), copy.filePath(file.fileName())));
        const auto touched = SampleCard::touch(dir.path());
        QVERIFY2(touched, qPrintable(inspection::failure(touched)));
        QList<SampleCard::Sample> newestFirst = samples;
        std::ranges::sort(newestFirst, std::greater(), [](const auto& s) { return s.info.captured; });
        const QList<Shot> shots = PhotoScanner::shots(dir.path());
        QCOMPARE(shots.size(), newestFirst.size());
        for (qsizetype i = 0; i < shots.size(); ++i) {
            QCOMPARE(shots[i].name, QFileInfo(newestFirst[i].fileNames().front()).completeBaseName());
            QCOMPARE(shots[i].captured, newestFirst[i].info.captured);
            for (const QString& name : newestFirst[i].fileNames())
                QCOMPARE(QFileInfo(copy.filePath(name)).lastModified(), newestFirst[i].info.captured);
        }
    }
};

QTEST_MAIN(SampleCardTest)
#include "SampleCardTest.moc"
