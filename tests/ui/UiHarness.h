#pragma once

#include "store/StoreFakes.h"
#include "support/FileTree.h"
#include "support/TestImages.h"
#include "ui/ContentView.h"
#include "ui/MainWindow.h"
#include "ui/PhotoCommands.h"
#include "ui/PhotoStage.h"
#include "ui/PresentationView.h"
#include "ui/ScreenConversion.h"
#include "ui/ThumbnailLoader.h"

#include <QApplication>
#include <QTest>

#include <functional>

// `count` JPEGs named ZRV_0000.JPG on, each of a colour of its own, the first the newest.
inline void writeShots(const QString& folder, int count, QSize size = QSize(600, 400)) {
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/ZRV_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        TestImages::writeJpeg(path, size, QColor::fromHsv(i * 50 % 360, 180, 200));
        FileTree::setModified(path, at(59 - i));
    }
}

// The presentation window on show, if there is one.
inline PresentationView* shownPresentation() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<PresentationView*>(top); found && found->isVisible())
            return found;
    }
    return nullptr;
}

// The window's child of that type and object name; the test stops when there is none.
template <typename T>
T* child(QWidget& window, const QString& name) {
    T* found = window.findChild<T*>(name);
    if (!found)
        qFatal("no child named %s", qPrintable(name));
    return found;
}

// The viewer's window over a store wired to fakes, shown and active.
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

    // The window, with `folder` open and its first photo on the stage.
    explicit ViewerHarness(const QString& folder, QSize size = QSize(1280, 860))
        : ViewerHarness(size) {
        openAndSettle(folder);
    }

    PhotoStage* stage() { return window.content()->stage(); }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&window, Qt::Key(key), modifiers);
        QCoreApplication::processEvents();
    }

    // One row of a table of key presses: the key, then what must hold after it.
    struct KeyStep {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::function<bool()> holds;
    };

    // Presses the rows' keys in turn; the number of the first row whose check
    // fails, or -1 when all hold.
    int firstFailing(std::initializer_list<KeyStep> steps) {
        int row = 0;
        for (const KeyStep& step : steps) {
            key(step.key, step.modifiers);
            if (!step.holds())
                return row;
            ++row;
        }
        return -1;
    }

    // Background work, then its results on screen.
    void settleAndPaint() {
        settle();
        QTest::qWait(30);
        settle();
    }
};
