#pragma once

#include <utility>

// Writes an observable field and emits its change signal, but only when the
// value really changes: a write of an equal value notifies nobody.
template <typename Owner, typename T, typename U>
bool setObservable(Owner* owner, T& field, U&& value, void (Owner::*changed)()) {
    if (field == value)
        return false;
    field = std::forward<U>(value);
    Q_EMIT(owner->*changed)();
    return true;
}
