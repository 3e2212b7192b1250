#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QSlider;

// One adjustment: its title and value text over a slider. A double click
// anywhere on it puts the value back to neutral.
class AdjustmentSlider : public QWidget {
    Q_OBJECT
public:
    using Format = std::function<QString(double)>;

    AdjustmentSlider(const QString& title, double minimum, double maximum, double neutral, Format format,
                     QWidget* parent = nullptr);

    double value() const { return value_; }
    // Sets the shown value without reporting it back.
    void setValue(double value);
    QString valueText() const;
    QSlider* slider() const { return slider_; }

    static QString exposureText(double value);
    static QString percentAroundOne(double value);
    static QString percent(double value);

Q_SIGNALS:
    void valueEdited(double value);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int toSteps(double value) const;
    double fromSteps(int steps) const;
    void show(double value);

    QString title_;
    double minimum_;
    double maximum_;
    double neutral_;
    Format format_;
    double value_;
    QLabel* valueLabel_;
    QSlider* slider_;
};
