#include "MountAgent.h"

#include "platform/LinuxVolumeMonitor.h"
#include "platform/PlatformFiles.h"
#include "platform/SingleInstance.h"
#include "platform/SingleInstanceLauncher.h"
#include "platform/Syslog.h"
#include "platform/SystemdUserUnits.h"
#include "platform/UdevDeviceProperties.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

// A state file is a few lines; anything far larger is not ours and counts as none.
constexpr qint64 kMaxStateBytes = 1024 * 1024;

const QString kRegisterFailed = u"MountAgent.register: "_s;
const QString kOpenFailed = u"MountAgent: cannot open the viewer: "_s;

// The program of ExecStart=, in double quotes so that blanks reach it as
// written, with '%' doubled against specifier expansion ('$' is expanded in the
// arguments only). systemd refuses a program path with quotes, backslashes or
// control characters whatever the quoting: nothing for such a path.
std::optional<QString> execProgram(const QString& path) {
    QString quoted = u"\""_s;
    for (const QChar c : path) {
        if (c == u'"' || c == u'\'' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    return quoted + u'"';
}

// Card identifiers are stored one per line; a mount point may itself hold a
// line feed, so line feeds and backslashes inside an identifier are escaped.
QString encodeLine(const QString& card) {
    QString line = card;
    return line.replace(u'\\', u"\\\\"_s).replace(u'\n', u"\\n"_s);
}

QString decodeLine(QStringView line) {
    QString card;
    card.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'\\' && i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'n')) {
            card += line[i + 1] == u'n' ? u'\n' : u'\\';
            ++i;
        } else {
            card += line[i];
        }
    }
    return card;
}

// This process's executable, read from the kernel rather than from the
// application object, so that any thread may ask.
QString thisExecutable() {
    return PlatformFiles::executablePath();
}

std::optional<QByteArray> readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxStateBytes)
        return std::nullopt;
    return file.read(kMaxStateBytes + 1);
}

} // namespace

QString MountAgent::unitName() {
    return QString::fromLatin1(ZV_APPLICATION_ID) + u".on-mount"_s;
}

QString MountAgent::defaultStateFolder() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(data).filePath(u"Zorva Viewer"_s);
}

QString MountAgent::pathUnit() {
    // udisks mounts under /media/USER on Debian and under /run/media/USER on
    // other systems; a mount folder appearing or going away there starts the
    // service, so a card that is removed is also dropped from the state file.
    return u"[Unit]\n"
           u"Description=Open Zorva Viewer when a camera card is mounted\n"
           u"\n"
           u"[Path]\n"
           u"PathChanged=/media/%u\n"
           u"PathChanged=/run/media/%u\n"
           u"Unit="_s +
           unitName() +
           u".service\n"
           u"\n"
           u"[Install]\n"
           u"WantedBy=default.target\n"_s;
}

std::optional<QString> MountAgent::serviceUnit(const QString& executable) {
    const std::optional<QString> program = execProgram(executable);
    if (!program)
        return std::nullopt;
    return u"[Unit]\n"
           u"Description=Open Zorva Viewer for a newly mounted camera card\n"
           u"\n"
           u"[Service]\n"
           u"Type=oneshot\n"
           u"ExecStart="_s +
           *program +
           u" --on-mount\n"
           u"# The viewer this run starts must outlive it: stop only the agent itself.\n"
           u"KillMode=process\n"
           u"TimeoutStartSec=30\n"_s;
}

void MountAgent::registerAgent() {
    Syslog log;
    SystemdUserUnits units = SystemdUserUnits::forCurrentUser();
    registerAgent(units, log, thisExecutable());
}

void MountAgent::registerAgent(UserUnits& units, SystemLog& log, const QString& executable) {
    if (executable.isEmpty()) {
        log.write(kRegisterFailed + u"The viewer's executable is unknown."_s);
        return;
    }
    const std::optional<QString> service = serviceUnit(executable);
    if (!service) {
        log.write(
            kRegisterFailed +
            u"systemd cannot start a program whose path holds quotes, backslashes or control characters: "_s +
            executable);
        return;
    }
    const QDir folder(units.folder());
    const QString pathName = unitName() + u".path"_s;
    const QString serviceName = unitName() + u".service"_s;
    // The service first, so the path unit never names a unit that is missing.
    const std::pair<QString, QString> files[] = {{serviceName, *service}, {pathName, pathUnit()}};

    bool changed = false;
    for (const auto& [name, text] : files) {
        if (readSmallFile(folder.filePath(name)) != text.toUtf8())
            changed = true;
    }
    if (!changed) {
        const auto enabled = units.isEnabled(pathName);
        if (!enabled) {
            log.write(kRegisterFailed + enabled.error().message);
            return;
        }
        if (*enabled)
            return;
    } else {
        if (!folder.mkpath(u"."_s)) {
            log.write(kRegisterFailed + u"Cannot create the folder "_s + folder.path() + u'.');
            return;
        }
        for (const auto& [name, text] : files) {
            QSaveFile file(folder.filePath(name));
            if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
                log.write(kRegisterFailed + u"Cannot write "_s + file.fileName() + u": "_s +
                          file.errorString());
                return;
            }
        }
        if (const auto reloaded = units.reload(); !reloaded) {
            log.write(kRegisterFailed + reloaded.error().message);
            return;
        }
    }
    if (const auto started = units.enableAndStart(pathName, changed); !started)
        log.write(kRegisterFailed + started.error().message);
}

QString MountAgent::stateFile(const QString& folder) {
    // A failure to create the folder shows as a failure to write the file.
    QDir().mkpath(folder);
    return QDir(folder).filePath(u"mounted-cards"_s);
}

QStringList MountAgent::mountedCards(const QList<Volume>& volumes, const DeviceProperties& devices) {
    QStringList cards;
    for (const Volume& volume : volumes) {
        if (!QFileInfo(QDir(volume.mountPoint).filePath(u"DCIM"_s)).isDir())
            continue;
        QString card = QString::number(volume.mountId) + u' ';
        if (const std::optional<DeviceDescription> device = devices.describe(volume);
            device && !device->fileSystemUuid.isEmpty())
            card += device->fileSystemUuid + u' ';
        cards.append(card + volume.mountPoint);
    }
    return cards;
}

QStringList MountAgent::readState(const QString& file) {
    const std::optional<QByteArray> bytes = readSmallFile(file);
    if (!bytes)
        return {};
    QStringList cards;
    for (QStringView line : QString::fromUtf8(*bytes).split(u'\n', Qt::SkipEmptyParts))
        cards.append(decodeLine(line));
    return cards;
}

void MountAgent::writeState(const QString& file, const QStringList& cards) {
    QStringList lines;
    lines.reserve(cards.size());
    for (const QString& card : cards)
        lines.append(encodeLine(card));
    // Written beside the old file and renamed over it, so a reader never sees half a list.
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly) && out.write(lines.join(u'\n').toUtf8()) >= 0)
        out.commit();
}

void MountAgent::openViewerIfNewCameraMounted() {
    LinuxVolumeMonitor volumes;
    UdevDeviceProperties devices;
    Syslog log;
    SingleInstanceLauncher launcher(SingleInstance::nameForCurrentUser(), thisExecutable());
    openViewerIfNewCameraMounted({volumes, devices, launcher, log, defaultStateFolder()});
}

void MountAgent::openViewerIfNewCameraMounted(const Services& services) {
    const QDeadlineTimer runLimit(kRunLimit);
    const QDeadlineTimer settled(
        std::min<std::chrono::nanoseconds>(services.settleTime, runLimit.remainingTimeAsDuration()));
    const QString file = stateFile(services.stateFolder);
    const QStringList previousList = readState(file);
    const QSet<QString> previous(previousList.begin(), previousList.end());

    QStringList current = mountedCards(services.volumes.mountedVolumes(), services.devices);
    auto anyNew = [&] {
        return std::any_of(current.begin(), current.end(),
                           [&](const QString& card) { return !previous.contains(card); });
    };
    while (!anyNew() && !settled.hasExpired()) {
        std::this_thread::sleep_for(
            std::min<std::chrono::nanoseconds>(services.rereadInterval, settled.remainingTimeAsDuration()));
        current = mountedCards(services.volumes.mountedVolumes(), services.devices);
    }
    // The file always holds the latest list, so a card that went away is
    // forgotten and counts as new when it comes back.
    writeState(file, current);
    if (!anyNew())
        return;
    if (const auto opened = services.launcher.openViewer(runLimit); !opened)
        services.log.write(kOpenFailed + opened.error().message);
}
