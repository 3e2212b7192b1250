#pragma once

#include <QAbstractButton>

// One look in the edit panel's grid: its shortcut digit, faint, then its title,
// on a rounded tile that is white while the look is selected.
class LookButton : public QAbstractButton {
    Q_OBJECT
public:
    LookButton(const QString& title, QChar digit, QWidget* parent = nullptr);

    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return QSize(10, 30); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QChar digit_;
    bool selected_ = false;
};
