#include "InstalledBundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

QString InstalledBundle::executable() const {
    return path + u'/' + QLatin1StringView(kExecutable);
}

std::expected<InstalledBundle, UpdateError> InstalledBundle::containing(const QString& executable) {
    const QFileInfo file(executable);
    const QString bundle = QFileInfo(file.absolutePath() + u"/.."_s).canonicalFilePath();
    if (bundle.isEmpty() ||
        QFileInfo(bundle + u'/' + QLatin1StringView(kExecutable)).canonicalFilePath() !=
            file.canonicalFilePath() ||
        !QFileInfo::exists(bundle + u'/' + QLatin1StringView(kManifestName)))
        return std::unexpected(UpdateError{
            u"This copy of Zorva Viewer was not installed as its own folder with scripts/install, so it can't update itself."_s});
    return read(bundle);
}

std::expected<InstalledBundle, UpdateError> InstalledBundle::read(const QString& path) {
    QFile file(path + u'/' + QLatin1StringView(kManifestName));
    if (!file.open(QIODevice::ReadOnly))
        return std::unexpected(
            UpdateError{u"Can't read "_s + file.fileName() + u": "_s + file.errorString()});
    const QJsonDocument document = QJsonDocument::fromJson(file.read(1 << 20));
    if (!document.isObject())
        return std::unexpected(
            UpdateError{u"Can't read "_s + file.fileName() + u": it is not a JSON object."_s});
    const QJsonObject object = document.object();
    return InstalledBundle{QDir::cleanPath(path), object.value("identifier"_L1).toString(),
                           object.value("version"_L1).toString(), buildNumber(object.value("build"_L1))};
}

qint64 InstalledBundle::buildNumber(const QJsonValue& value) {
    static const QRegularExpression number(u"^[+-]?[0-9]+$"_s);
    const QString text = value.toString();
    if (!value.isString() || !number.match(text).hasMatch())
        return 0;
    bool ok = false;
    const qint64 build = text.toLongLong(&ok);
    return ok ? build : 0;
}
