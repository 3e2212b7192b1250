#pragma once

#include "platform/ScreenList.h"

#include <QWidget>

#include <memory>

class ViewerStore;

// What the TV's screen shows: the stage's displayed image fitted on black,
// never the zoomed detail; plain black without an image. No controls, no text.
class PresentationView : public QWidget {
    Q_OBJECT
public:
    explicit PresentationView(ViewerStore& store, QWidget* parent = nullptr);

    // A borderless black full-screen window with the view on `screen`.
    static std::unique_ptr<PresentationView> cover(ViewerStore& store, const ScreenInfo& screen);
    // Where the image lies in a view of `area` pixels: fitted, centred.
    static QRectF imageRect(const QSizeF& image, const QSizeF& area);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ViewerStore& store_;
};
