#pragma once

#include <QString>

// Where the updater stands: idle, checking the feed, downloading a version,
// a version installed (until the program ends), or failed with a text.
struct UpdateState {
    enum class Kind { idle, checking, downloading, installed, failed };

    Kind kind = Kind::idle;
    QString version; // downloading, installed
    QString message; // failed

    static UpdateState idle() { return {}; }
    static UpdateState checking() { return {Kind::checking, {}, {}}; }
    static UpdateState downloading(QString version) { return {Kind::downloading, std::move(version), {}}; }
    static UpdateState installed(QString version) { return {Kind::installed, std::move(version), {}}; }
    static UpdateState failed(QString message) { return {Kind::failed, {}, std::move(message)}; }

    // "checking", "downloading 1.2", "failed: …": for tools and test output.
    QString describe() const;

    bool operator==(const UpdateState&) const = default;
};
