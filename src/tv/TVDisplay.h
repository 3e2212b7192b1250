#pragma once

#include "platform/ScreenList.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

// The second screen a TV or projector makes: watches the desktop's screens,
// names the one that counts as the TV (the last of two or more) and covers it
// with the presentation window while asked to. Lives on the main thread.
class TVDisplay : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<QString> secondScreenName READ secondScreenName NOTIFY secondScreenNameChanged)
    Q_PROPERTY(bool isPresenting READ isPresenting NOTIFY isPresentingChanged)

public:
    // Opens a window covering the given screen; the window closes when the
    // returned object is destroyed.
    using WindowOpener = std::function<std::unique_ptr<QObject>(const ScreenInfo& screen)>;

    // `screens` may be null (no second screen ever); it must outlive this object.
    explicit TVDisplay(ScreenList* screens, QObject* parent = nullptr);
    ~TVDisplay() override;

    const std::optional<QString>& secondScreenName() const { return secondScreenName_; }
    bool isPresenting() const { return isPresenting_; }
    // The screen that counts as the TV, if any.
    std::optional<ScreenInfo> secondScreen() const;

    // Covers the TV screen with the window `open` makes; a window already up
    // is closed first. Nothing happens without a second screen.
    void present(const WindowOpener& open);
    void close();

Q_SIGNALS:
    void secondScreenNameChanged();
    void isPresentingChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshScreens();

    ScreenList* screens_;
    std::optional<QString> secondScreenName_;
    bool isPresenting_ = false;
    std::unique_ptr<QObject> window_;
};
