#pragma once

#include "platform/DnsSdBrowser.h"
#include "platform/ScreenList.h"

#include <QStringList>

// Discovery under the test's control: results are announced by hand.
class FakeDnsSdBrowser final : public DnsSdBrowser {
public:
    QStringList started;

    void start(const QString& type) override { started.append(type); }
    void announce(const QList<DnsSdResult>& results) { Q_EMIT resultsChanged(results); }
};

// The desktop's screens as the test sets them.
class FakeScreens final : public ScreenList {
public:
    QList<ScreenInfo> list{{QStringLiteral("Built-in"), QRect(0, 0, 1440, 900)}};

    QList<ScreenInfo> screens() const override { return list; }
    void set(const QList<ScreenInfo>& screens) {
        list = screens;
        Q_EMIT screensChanged();
    }
};
