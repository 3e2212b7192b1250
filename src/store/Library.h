#pragma once

#include "PhotoSource.h"

// The state of the shot list, always with the source it refers to.
struct Library {
    enum class State { empty, scanning, loaded };

    State state = State::empty;
    PhotoSource source;

    static Library empty(PhotoSource source) { return {State::empty, std::move(source)}; }
    static Library scanning(PhotoSource source) { return {State::scanning, std::move(source)}; }
    static Library loaded(PhotoSource source) { return {State::loaded, std::move(source)}; }

    bool operator==(const Library&) const = default;
};
