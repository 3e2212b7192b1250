#include "samplegen/SampleCard.h"
#include "card/PhotoScanner.h"

#include <QFileInfo>
#include <QMap>
#include <QTest>

#include <algorithm>

// The committed sample card: what the viewer shows a new user first.
class SampleCardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The scanner pairs the files as intended: at least two JPEG + RAW pairs,
    // one RAW-only shot and a portrait, each shot with exactly its files.
    void holdsTheIntendedShots() {
        const QList<Shot> shots = PhotoScanner::shots(QStringLiteral(ZV_SOURCE_DIR "/samples/card/DCIM"));
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
            for (const QString& path : shot->files.all())
                files << QFileInfo(path).fileName();
            QCOMPARE(files, sample.fileNames());
        }
        QVERIFY(kinds[ShotFiles::Case::both] >= 2);
        QCOMPARE(kinds[ShotFiles::Case::rawOnly], 1);
        QVERIFY(portraits > 0);
    }
};

QTEST_GUILESS_MAIN(SampleCardTest)
#include "SampleCardTest.moc"
