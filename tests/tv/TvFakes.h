#pragma once

#include "platform/DnsSdBrowser.h"

#include <QStringList>

// Discovery under the test's control: results are announced by hand.
class FakeDnsSdBrowser final : public DnsSdBrowser {
public:
    QStringList started;

    void start(const QString& type) override { started.append(type); }
    void announce(const QList<DnsSdResult>& results) { Q_EMIT resultsChanged(results); }
};
