#pragma once

#include <QWidget>

class QVariantAnimation;

// A spinning progress indicator, drawn as a rotating arc; it only animates while shown.
class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(int diameter, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(diameter_, diameter_); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int diameter_;
    double angle_ = 0;
    QVariantAnimation* rotation_;
};
