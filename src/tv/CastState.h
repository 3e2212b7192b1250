#pragma once

#include <QString>

// What the cast menu shows: not casting, connecting to or casting to a TV,
// or the last attempt's failure until the next action.
struct CastState {
    enum class Kind { idle, connecting, casting, failed };

    Kind kind = Kind::idle;
    // The TV's name, for every kind but idle.
    QString device;
    // Why the last attempt failed.
    QString reason;

    static CastState idle() { return {}; }
    static CastState connecting(QString to) { return {Kind::connecting, std::move(to), {}}; }
    static CastState casting(QString to) { return {Kind::casting, std::move(to), {}}; }
    static CastState failed(QString device, QString reason) {
        return {Kind::failed, std::move(device), std::move(reason)};
    }

    bool operator==(const CastState&) const = default;
};
