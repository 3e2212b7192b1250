#pragma once

#include <QColor>
#include <QMargins>
#include <QWidget>

// A short text on a dark capsule: the format and zoom badges and the look banner.
// Transparent to the pointer; shows its tooltip through its parent's hover.
class CapsuleLabel : public QWidget {
    Q_OBJECT
public:
    CapsuleLabel(const QFont& font, QMargins padding, QColor background, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QMargins padding_;
    QColor background_;
};
