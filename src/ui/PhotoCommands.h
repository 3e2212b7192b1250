#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class ViewerStore;

// The menu bar and every keyboard shortcut of the viewer. Each item only calls
// a store operation; the store decides whether there is anything to do. The
// actions also belong to the window itself, so their keys work whatever has
// focus and while the menu bar is hidden in full screen.
class PhotoCommands : public QObject {
    Q_OBJECT
public:
    PhotoCommands(ViewerStore& store, QMainWindow& window);

    // The action with this menu text, for tests and the crop bar.
    QAction* action(const QString& text) const;

    static constexpr double kZoomStep = 1.5;

private:
    QAction* add(QMenu* menu, const QString& text, const QList<QKeySequence>& keys,
                 std::function<void()> trigger);
    void updateLeaveFullScreen();

    ViewerStore& store_;
    QMainWindow& window_;
    QList<QAction*> actions_;
    QAction* leaveFullScreen_ = nullptr;
};
