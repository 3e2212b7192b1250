#pragma once

#include "StageImageConverter.h"

#include <QMainWindow>

class ContentView;
class PhotoCommands;
class QMessageBox;
class QScreen;
class QSettings;
class ThumbnailLoader;
class ViewerToolbar;
class ViewerStore;

// The viewer's only window ("viewer"): its title and subtitle follow the store,
// its content is the stage, filmstrip and edit panel under the toolbar
// (all hidden but the stage in immersive mode), its menus are the
// viewer's commands, and it asks before a permanent delete. Closing it quits.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ViewerStore& store, ThumbnailLoader& thumbnails, StageImageConverter::Convert convert,
               QWidget* parent = nullptr);

    ContentView* content() const { return content_; }
    PhotoCommands* commands() const { return commands_; }
    ViewerToolbar* toolbar() const { return toolbar_; }
    // The parts after the title: "3 of 120 · ABCD0123 · Casting to Den"; Qt windows have no
    // subtitle line, so the title bar reads "title — subtitle".
    QString subtitle() const;
    // The permanent-delete question while it is open.
    QMessageBox* deleteConfirmation() const { return confirmation_; }

    // Sizes and centres the window for its first showing on `screen`: the
    // size the user left it at last time (from `settings`), or a comfortable one.
    void placeOn(const QScreen* screen, const QSettings& settings);
    // Remembers the window's size (its normal size when maximised) for the next launch.
    void saveSize(QSettings& settings) const;
    // The size remembered in `settings`, or a comfortable one.
    static QSize preferredSize(const QSettings& settings);
    // `preferred` fitted into the screen's `available` area, but not below `minimum`,
    // centred on that area.
    static QRect firstGeometry(const QRect& available, const QSize& minimum,
                               const QSize& preferred = QSize(1280, 860));

    static QString subtitle(const ViewerStore& store);
    static QString deleteTitle(const QString& name);

protected:
    void showEvent(QShowEvent* event) override;

Q_SIGNALS:
    // The content appeared for the first time.
    void firstShown();

private:
    void updateTitle();
    void confirmPermanentDelete();

    ViewerStore& store_;
    ContentView* content_;
    PhotoCommands* commands_;
    ViewerToolbar* toolbar_;
    QMessageBox* confirmation_ = nullptr;
    bool shown_ = false;
};
