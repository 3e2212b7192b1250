#pragma once

#include "DnsSdResult.h"

#include <QList>
#include <QObject>

// Browses the local network for one DNS-SD service type in the default domain.
// Lives on the main thread; every change delivers the whole current set of
// resolved services. Failures of the underlying service are not reported: the
// set is simply empty until browsing works again.
class DnsSdBrowser : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts browsing for `type` (for example "_googlecast._tcp"); once.
    virtual void start(const QString& type) = 0;

Q_SIGNALS:
    void resultsChanged(const QList<DnsSdResult>& results);
};
