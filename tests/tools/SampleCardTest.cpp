#include "tools/FileInspection.h"

#include "card/PhotoScanner.h"
#include "samplegen/SampleCard.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString kCard = QStringLiteral(ZV_SOURCE_DIR "/samples/card/DCIM");

ShotFiles::Case kindOf(const SampleCard::Sample& sample) {
    if (sample.jpeg.isEmpty())
        return ShotFiles::Case::rawOnly;
    return sample.raw.isEmpty() ? ShotFiles::Case::jpegOnly : ShotFiles::Case::both;
}

QString folderOf(const QString& dcim) {
    return QDir(dcim).filePath(QString::fromLatin1(SampleCard::kFolder));
}

} // namespace

// The committed sample card: what the viewer shows a new user first.
class SampleCardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pairsAsIntended() {
        const QList<Shot> shots = PhotoScanner::shots(kCard);
        const QList<SampleCard::Sample> samples = SampleCard::samples();
        QCOMPARE(shots.size(), samples.size());
        int pairs = 0;
        int rawOnly = 0;
        for (const SampleCard::Sample& sample : samples) {
            const QString name = QFileInfo(sample.fileNames().front()).completeBaseName();
            const auto shot =
                std::find_if(shots.begin(), shots.end(), [&](const Shot& s) { return s.name == name; });
            QVERIFY2(shot != shots.end(), qPrintable(name));
            QCOMPARE(shot->files.kind(), kindOf(sample));
            QStringList files;
            for (const QString& file : shot->files.all())
                files << QFileInfo(file).fileName();
            QCOMPARE(files, sample.fileNames());
            pairs += shot->files.kind() == ShotFiles::Case::both;
            rawOnly += shot->files.kind() == ShotFiles::Case::rawOnly;
        }
        QVERIFY(pairs >= 2);
        QCOMPARE(rawOnly, 1);
    }

    void staysUnderFiveMebibytes() {
        qint64 total = 0;
        for (QDirIterator it(kCard, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            total += it.nextFileInfo().size();
        QVERIFY(total > 1024 * 1024);
        QVERIFY2(total < 5 * 1024 * 1024, qPrintable(QString::number(total)));
    }

    // Every file carries its shot's capture time and the camera's make; the
    // RAWs develop and the portrait is marked as turned.
    void filesAreGenuine() {
        const QDir folder(folderOf(kCard));
        bool portrait = false;
        for (const SampleCard::Sample& sample : SampleCard::samples()) {
            for (const QString& name : sample.fileNames()) {
                const QString path = folder.filePath(name);
                const auto tags = inspection::exif(path);
                QVERIFY2(tags, qPrintable(name + u": "_s + inspection::failure(tags)));
                QCOMPARE(tags->value(u"Exif.Photo.DateTimeOriginal"_s), sample.info.exifDateTime());
                QCOMPARE(tags->value(u"Exif.Image.Make"_s), u"ZORVA"_s);
                QCOMPARE(tags->value(u"Exif.Image.Orientation"_s), QString::number(sample.info.orientation));
                if (name == sample.raw) {
                    const auto developed = inspection::developRaw(path);
                    QVERIFY2(developed, qPrintable(name + u": "_s + inspection::failure(developed)));
                    QCOMPARE(developed->size(), sample.rawSize);
                } else {
                    QVERIFY(inspection::exifThumbnail(path));
                }
            }
            portrait |= sample.info.orientation == 6 && !sample.jpeg.isEmpty();
        }
        QVERIFY(portrait);
    }

    // A checkout's file times are arbitrary; after touching, the viewer lists
    // the shots newest first in the order they were taken.
    void touchRestoresTheCaptureOrder() {
        QTemporaryDir dir;
        const QString dcim = dir.filePath(u"DCIM"_s);
        QVERIFY(QDir().mkpath(folderOf(dcim)));
        for (const QFileInfo& file : QDir(folderOf(kCard)).entryInfoList(QDir::Files))
            QVERIFY(QFile::copy(file.filePath(), QDir(folderOf(dcim)).filePath(file.fileName())));

        const auto touched = SampleCard::touch(dcim);
        QVERIFY2(touched, qPrintable(inspection::failure(touched)));

        QList<SampleCard::Sample> samples = SampleCard::samples();
        for (const SampleCard::Sample& sample : samples) {
            for (const QString& name : sample.fileNames())
                QCOMPARE(QFileInfo(QDir(folderOf(dcim)).filePath(name)).lastModified(), sample.info.captured);
        }
        std::sort(samples.begin(), samples.end(),
                  [](const auto& a, const auto& b) { return a.info.captured > b.info.captured; });
        const QList<Shot> shots = PhotoScanner::shots(dcim);
        QCOMPARE(shots.size(), samples.size());
        for (qsizetype i = 0; i < shots.size(); ++i) {
            QCOMPARE(shots[i].name, QFileInfo(samples[i].fileNames().front()).completeBaseName());
            QCOMPARE(shots[i].captured, samples[i].info.captured);
        }
    }

    // Missing files are named; the files that are there still get their time.
    void touchReportsMissingFiles() {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(folderOf(dir.path())));
        const SampleCard::Sample first = SampleCard::samples().front();
        const QString present = QDir(folderOf(dir.path())).filePath(first.jpeg);
        QVERIFY(QFile::copy(QDir(folderOf(kCard)).filePath(first.jpeg), present));

        const auto touched = SampleCard::touch(dir.path());
        QVERIFY(!touched);
        QVERIFY2(touched.error().contains(u"ZRV_0005.DNG"_s), qPrintable(touched.error()));
        QVERIFY(!touched.error().contains(first.jpeg));
        QCOMPARE(QFileInfo(present).lastModified(), first.info.captured);
    }
};

QTEST_MAIN(SampleCardTest)
#include "SampleCardTest.moc"
