#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

// One screen of the desktop as the viewer sees it: its name and where it lies
// on the desktop, in device-independent pixels.
struct ScreenInfo {
    QString name;
    QRect geometry;

    bool operator==(const ScreenInfo&) const = default;
};

// The desktop's screens, in the system's order. Main thread only.
class ScreenList : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QList<ScreenInfo> screens() const = 0;

Q_SIGNALS:
    // A screen was added, removed, renamed or moved.
    void screensChanged();
};
