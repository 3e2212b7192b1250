#pragma once

#include "store/Toast.h"

#include <QWidget>

class QLabel;
class QPushButton;

// The bubble that carries one toast: its message, the action's button if it
// has one, and a close button. It has no timer of its own.
class ToastView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMessageWidth = 520;
    explicit ToastView(QWidget* parent = nullptr);

    void setToast(const Toast& toast);
    const std::optional<Toast>& toast() const { return toast_; }

    static QString actionLabel(ToastAction::Kind kind);
    // `text` as shown in `width`: the first line as wrapped, and all the rest on a second line
    // that ends in "…" when it does not fit.
    static QString twoLines(const QString& text, const QFont& font, int width);

Q_SIGNALS:
    void perform(const ToastAction& action);
    void dismiss();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<Toast> toast_;
    QLabel* message_;
    QPushButton* action_;
    QPushButton* close_;
};
