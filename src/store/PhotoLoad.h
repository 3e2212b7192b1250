#pragma once

#include <QString>

// The loading state of the stage image.
struct PhotoLoad {
    enum class State { failed, idle, loading };

    State state = State::idle;
    QString message; // only for failed

    static PhotoLoad failed(QString message) { return {State::failed, std::move(message)}; }
    static PhotoLoad idle() { return {}; }
    static PhotoLoad loading() { return {State::loading, {}}; }

    bool operator==(const PhotoLoad&) const = default;
};
