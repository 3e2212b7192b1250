#include "AdjustmentSlider.h"

#include "Appearance.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
// The slider moves in a thousand steps over its range: finer than a pointer can place it.
constexpr int kSteps = 1000;
} // namespace

AdjustmentSlider::AdjustmentSlider(const QString& title, double minimum, double maximum, double neutral,
                                   Format format, QWidget* parent)
    : QWidget(parent)
    , title_(title)
    , minimum_(minimum)
    , maximum_(maximum)
    , neutral_(neutral)
    , format_(std::move(format))
    , value_(neutral)
    , valueLabel_(new QLabel(this))
    , slider_(new QSlider(Qt::Horizontal, this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* row = new QHBoxLayout;
    auto* name = new QLabel(title, this);
    name->setFont(Appearance::font(Appearance::TextStyle::body));
    row->addWidget(name);
    row->addStretch();
    valueLabel_->setFont(Appearance::monospacedDigits(Appearance::font(Appearance::TextStyle::body)));
    QPalette secondary = valueLabel_->palette();
    secondary.setColor(QPalette::WindowText, Appearance::secondaryText());
    valueLabel_->setPalette(secondary);
    row->addWidget(valueLabel_);
    column->addLayout(row);

    slider_->setRange(0, kSteps);
    slider_->setFocusPolicy(Qt::NoFocus);
    slider_->setAccessibleName(title);
    slider_->installEventFilter(this);
    column->addWidget(slider_);
    connect(slider_, &QSlider::valueChanged, this, [this](int steps) {
        const double value = fromSteps(steps);
        if (value == value_)
            return;
        show(value);
        Q_EMIT valueEdited(value);
    });

    setToolTip(u"Double-click to reset "_s + title.toLower());
    setObjectName(title);
    setValue(neutral);
}

int AdjustmentSlider::toSteps(double value) const {
    return int(std::lround((value - minimum_) / (maximum_ - minimum_) * kSteps));
}

double AdjustmentSlider::fromSteps(int steps) const {
    // The neutral value is hit exactly, so a slider brought back to it leaves no edit.
    if (steps == toSteps(neutral_))
        return neutral_;
    return minimum_ + (maximum_ - minimum_) * steps / kSteps;
}

void AdjustmentSlider::show(double value) {
    value_ = value;
    valueLabel_->setText(valueText());
    slider_->setAccessibleDescription(valueText());
}

void AdjustmentSlider::setValue(double value) {
    show(value);
    const QSignalBlocker quiet(slider_);
    slider_->setValue(toSteps(std::clamp(value, minimum_, maximum_)));
}

QString AdjustmentSlider::valueText() const {
    return format_(value_);
}

QString AdjustmentSlider::exposureText(double value) {
    return QString::asprintf("%+.1f EV", value);
}

QString AdjustmentSlider::percentAroundOne(double value) {
    return QString::asprintf("%+.0f", (value - 1) * 100);
}

QString AdjustmentSlider::percent(double value) {
    return QString::asprintf("%+.0f", value * 100);
}

void AdjustmentSlider::mouseDoubleClickEvent(QMouseEvent*) {
    if (value_ == neutral_)
        return;
    setValue(neutral_);
    Q_EMIT valueEdited(neutral_);
}

bool AdjustmentSlider::eventFilter(QObject* watched, QEvent* event) {
    // A double click on the slider itself resets too.
    if (watched == slider_ && event->type() == QEvent::MouseButtonDblClick) {
        mouseDoubleClickEvent(nullptr);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
