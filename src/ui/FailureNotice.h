#pragma once

#include <QWidget>

class QLabel;

// A warning triangle and a message on the translucent material, shown centred
// on the stage when a photo cannot be loaded.
class FailureNotice : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMessageWidth = 480;
    explicit FailureNotice(QWidget* parent = nullptr);
    void setMessage(const QString& message);
    QString message() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* message_;
};
