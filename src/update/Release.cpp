#include "Release.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

UpdateError invalid(const QString& key) {
    return {u"The release feed has no valid \""_s + key + u"\"."_s};
}

} // namespace

std::expected<Release, UpdateError> Release::decode(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return std::unexpected(
            UpdateError{u"The release feed could not be read: "_s + error.errorString() + u"."_s});
    if (!document.isObject())
        return std::unexpected(
            UpdateError{u"The release feed could not be read: it is not a JSON object."_s});
    const QJsonObject object = document.object();

    Release release;
    const QJsonValue version = object.value("version"_L1);
    if (!version.isString())
        return std::unexpected(invalid(u"version"_s));
    release.version = version.toString();

    // A JSON number is a double; only a whole number that a 64-bit integer holds is a build.
    const QJsonValue build = object.value("build"_L1);
    const double number = build.toDouble(0.5);
    if (!build.isDouble() || number != std::floor(number) || std::abs(number) > 9.0e15)
        return std::unexpected(invalid(u"build"_s));
    release.build = qint64(number);

    const QJsonValue url = object.value("url"_L1);
    release.url = QUrl(url.toString(), QUrl::StrictMode);
    if (!url.isString() || !release.url.isValid() || release.url.isRelative())
        return std::unexpected(invalid(u"url"_s));

    const QJsonValue sha256 = object.value("sha256"_L1);
    if (!sha256.isString())
        return std::unexpected(invalid(u"sha256"_s));
    release.sha256 = sha256.toString();
    return release;
}
