#pragma once

#include "store/PhotoSource.h"

#include <QWidget>

class QLabel;

// What the stage shows when there are no photos: a camera, a title, a line on
// what to do, and "Open Folder…".
class EmptyLibraryView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDetailWidth = 380;
    explicit EmptyLibraryView(QWidget* parent = nullptr);

    void setSource(const PhotoSource& source);

    static QString title(const PhotoSource& source);
    static QString detail(const PhotoSource& source);

Q_SIGNALS:
    void openFolder();

private:
    QLabel* title_;
    QLabel* detail_;
};
