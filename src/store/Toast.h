#pragma once

#include "ToastAction.h"

#include <QString>
#include <QUuid>

#include <optional>

// The one transient message of the window. Every toast has its own id, so two
// toasts with the same text are still different toasts.
struct Toast {
    QUuid id;
    QString message;
    std::optional<ToastAction> action;

    static Toast make(QString message, std::optional<ToastAction> action = std::nullopt) {
        return {QUuid::createUuid(), std::move(message), std::move(action)};
    }

    bool operator==(const Toast&) const = default;
};
