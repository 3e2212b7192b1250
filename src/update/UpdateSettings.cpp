#include "UpdateSettings.h"

#include "UpdateBuildConfig.h"

#include "platform/PlatformFiles.h"

#include <QCoreApplication>
#include <QFile>

UpdateSettings UpdateSettings::builtIn() {
    UpdateSettings settings;
    settings.feed = QUrl(QString::fromUtf8(UpdateBuildConfig::kFeedUrl));
    settings.publicKey = QByteArray(UpdateBuildConfig::kPublicKey).trimmed();
    settings.identifier = QString::fromUtf8(UpdateBuildConfig::kBundleIdentifier);
    settings.team = QString::fromUtf8(UpdateBuildConfig::kTeamIdentifier);
    settings.executable = PlatformFiles::executablePath();
    settings.quit = [] { QCoreApplication::quit(); };
    if constexpr (UpdateBuildConfig::kTestOverrides) {
        const QByteArray feed = qgetenv("ZV_UPDATE_TEST_FEED");
        if (!feed.isEmpty()) {
            settings.feed = QUrl(QString::fromUtf8(feed));
            settings.allowLocalHttp = true;
        }
        const QString key = qEnvironmentVariable("ZV_UPDATE_TEST_KEY");
        if (!key.isEmpty()) {
            QFile file(key);
            settings.publicKey = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }
    }
    return settings;
}
