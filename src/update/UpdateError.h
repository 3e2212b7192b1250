#pragma once

#include <QString>

// One failure of an update check, carrying the text the user is shown.
struct UpdateError {
    QString errorDescription;

    static UpdateError damaged() { return {QStringLiteral("The download was damaged.")}; }
    static UpdateError noApp() { return {QStringLiteral("The download had no app in it.")}; }
    static UpdateError unreadableSignature() {
        return {QStringLiteral("Can't read the new version's signature.")};
    }
    static UpdateError notSigned() {
        return {QStringLiteral(
            "The new version is not signed by Zorva Viewer's developer, so it was not installed.")};
    }
    static UpdateError wrongVersion() {
        return {QStringLiteral("The download is not the announced version.")};
    }
    // A tool (or library) that did the work and gave up.
    static UpdateError failedTool(const QString& name) { return {name + QStringLiteral(" failed.")}; }

    bool operator==(const UpdateError&) const = default;
};
