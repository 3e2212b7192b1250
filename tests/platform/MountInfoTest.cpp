#include "platform/MountInfo.h"
#include "platform/LinuxVolumeMonitor.h"

#include <QTest>

#include <sys/sysmacros.h>

using namespace Qt::StringLiterals;

class MountInfoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsesLinesWithOptionalFieldsAndEscapes() {
        const auto entry = MountInfo::parseLine(
            u"812 29 8:17 / /media/ann/NIKON\\040D750 rw,nosuid,nodev shared:451 master:1 - vfat /dev/sdb1 "
            u"rw,uid=1000"_s);
        QVERIFY(entry);
        QCOMPARE(entry->mountId, 812);
        QCOMPARE(entry->parentId, 29);
        QCOMPARE(entry->device, makedev(8, 17));
        QCOMPARE(entry->mountPoint, u"/media/ann/NIKON D750"_s);
        QCOMPARE(entry->fsType, u"vfat"_s);
        QCOMPARE(entry->source, u"/dev/sdb1"_s);

        QCOMPARE(MountInfo::unescape(u"a\\011b\\134c\\012"_s), u"a\tb\\c\n"_s);
        QCOMPARE(MountInfo::unescape(u"odd\\9x\\"_s), u"odd\\9x\\"_s);
    }

    void rejectsMalformedLines() {
        const QString malformed[] = {
            u""_s,
            u"36 35 98:0 /mnt1 /mnt2 rw"_s,            // no separator
            u"x 35 98:0 / /mnt rw - ext4 /dev/a rw"_s, // id not a number
            u"36 35 98 / /mnt rw - ext4 /dev/a rw"_s,  // no minor
            u"36 35 98:0 / /mnt rw -"_s,               // nothing after the separator
            u"36 35 98:0 - ext4 /dev/a rw"_s,          // fields missing before it
        };
        for (const QString& line : malformed)
            QVERIFY2(!MountInfo::parseLine(line), qPrintable(line));

        const QList<MountEntry> entries = MountInfo::parse(
            u"garbage\n22 1 8:1 / / rw - ext4 /dev/vda rw\n\n23 22 0:5 / /proc rw - proc proc rw\n"_s);
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[1].mountPoint, u"/proc"_s);
    }

    void keepsOnlyVolumesAUserWouldSee() {
        const QList<MountEntry> entries =
            MountInfo::parse(u"22 1 254:0 / / rw - ext4 /dev/vda rw\n"
                             u"23 22 0:5 / /proc rw - proc proc rw\n"
                             u"24 22 254:1 / /boot rw - ext4 /dev/vda1 rw\n"
                             u"30 22 0:40 / /media/ann/net rw - cifs //server/share rw\n"
                             u"31 22 8:17 / /media/ann/CARD rw - vfat /dev/sdb1 rw\n"
                             u"32 22 8:33 / /run/media/bob/STICK rw - exfat /dev/sdc1 rw\n"
                             u"33 22 8:49 / /mnt/.snapshots rw - btrfs /dev/sdd1 rw\n"
                             u"34 22 8:65 / /mnt/backup rw - ext4 /dev/sde1 rw\n"
                             u"35 22 8:81 / /media rw - ext4 /dev/sdf1 rw\n"
                             u"36 31 8:18 / /media/ann/CARD rw - vfat /dev/sdb2 rw\n"_s);
        const QList<Volume> volumes = LinuxVolumeMonitor::userVisibleVolumes(entries);
        QCOMPARE(volumes.size(), 3);
        // A second mount on the same point hides the first.
        QCOMPARE(volumes[0], (Volume{u"/media/ann/CARD"_s, u"CARD"_s, 36, makedev(8, 18)}));
        QCOMPARE(volumes[1].name, u"STICK"_s);
        QCOMPARE(volumes[2].mountPoint, u"/mnt/backup"_s);
    }
};

QTEST_GUILESS_MAIN(MountInfoTest)
#include "MountInfoTest.moc"
