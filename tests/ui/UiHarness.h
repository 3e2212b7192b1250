#pragma once

#include "store/StoreFakes.h"
#include "ui/ContentView.h"
#include "ui/MainWindow.h"
#include "ui/PhotoCommands.h"
#include "ui/ScreenConversion.h"
#include "ui/ThumbnailLoader.h"

#include <QApplication>
#include <QTest>

// The viewer's window over a store wired to fakes, shown and active.
// The window's child of that type and object name; the test stops when there is none.
template <typename T>
T* child(QWidget& window, const QString& name) {
    T* found = window.findChild<T*>(name);
    if (!found)
        qFatal("no child named %s", qPrintable(name));
    return found;
}

struct ViewerHarness : StoreHarness {
    ThumbnailLoader thumbnails{store.renderer(), *store.pools().utility(), &ScreenConversion::forScreen};
    MainWindow window{store, thumbnails, &ScreenConversion::forScreen};

    explicit ViewerHarness(QSize size = QSize(1280, 860), double timeScale = 1.0)
        : StoreHarness(timeScale) {
        window.resize(size);
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            qWarning("the window did not become active");
    }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&window, Qt::Key(key), modifiers);
        QCoreApplication::processEvents();
    }

    // Background work, then its results on screen.
    void settleAndPaint() {
        settle();
        QTest::qWait(30);
        settle();
    }
};
