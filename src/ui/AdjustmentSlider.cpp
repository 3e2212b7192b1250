#include "AdjustmentSlider.h"

#include "Appearance.h"
#include "ViewerAccessibility.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
// The slider moves in a thousand steps over its range: finer than a pointer can place it.
constexpr int kSteps = 1000;

// A slider whose fill runs from its neutral position to the knob, with a mark at the neutral
// position, so a value below neutral reads as a move to the left rather than a shorter bar.
class NeutralSlider : public QSlider {
public:
    NeutralSlider(int neutral, QWidget* parent)
        : QSlider(Qt::Horizontal, parent)
        , neutral_(neutral) {
        ViewerAccessibility::install();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        const QRect groove =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const int span = groove.width() - handle.width();
        const auto centreOf = [&](int steps) {
            return groove.left() + handle.width() / 2.0 +
                   QStyle::sliderPositionFromValue(minimum(), maximum(), steps, span);
        };
        const double neutralX = centreOf(neutral_);
        const double knobX = centreOf(value());
        const double y = groove.center().y() + 0.5;

        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Appearance::grey(0.25));
        painter.drawRoundedRect(QRectF(groove.left() + 2, y - 2, groove.width() - 4, 4), 2, 2);
        if (neutral_ > minimum() && neutral_ < maximum()) {
            painter.setBrush(Appearance::grey(0.6));
            painter.drawRect(QRectF(neutralX - 1, y - 6, 2, 12));
        }
        painter.setBrush(palette().color(QPalette::Highlight));
        painter.drawRect(
            QRectF(QPointF(std::min(neutralX, knobX), y - 2), QPointF(std::max(neutralX, knobX), y + 2)));

        option.subControls = QStyle::SC_SliderHandle;
        style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    }

private:
    int neutral_;
};

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
    , slider_(new NeutralSlider(toSteps(neutral), this)) {
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
