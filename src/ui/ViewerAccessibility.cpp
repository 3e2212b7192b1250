#include "ViewerAccessibility.h"

#include "AdjustmentSlider.h"
#include "CropOverlay.h"
#include "LookButton.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QSlider>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// A look tile: a button that reports whether its look is the chosen one.
class LookButtonAccessible : public QAccessibleWidget {
public:
    explicit LookButtonAccessible(LookButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = button()->isSelected();
        return state;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction())
            button()->click();
    }

private:
    LookButton* button() const { return static_cast<LookButton*>(object()); }
};

// An adjustment's slider: its value is the text the panel shows ("+0.5 EV"), not
// the slider's internal steps.
class AdjustmentAccessible : public QAccessibleWidget {
public:
    explicit AdjustmentAccessible(QSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return adjustment()->valueText();
        return QAccessibleWidget::text(t);
    }

private:
    AdjustmentSlider* adjustment() const { return static_cast<AdjustmentSlider*>(object()->parent()); }
};

// One corner handle of the crop frame, painted by the overlay.
class CropCornerAccessible : public QAccessibleInterface {
public:
    CropCornerAccessible(CropOverlay* overlay, CropGeometry::Corner corner)
        : overlay_(overlay)
        , corner_(corner) {}

    bool isValid() const override { return !overlay_.isNull(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return parent() ? parent()->window() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(overlay_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? u"Crop corner"_s : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!overlay_)
            return {};
        const QRect local = overlay_->handleRect(corner_).toRect();
        return QRect(overlay_->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::Grip; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !overlay_ || !overlay_->isVisible();
        return state;
    }

private:
    QPointer<CropOverlay> overlay_;
    CropGeometry::Corner corner_;
};

// The crop overlay, whose children are its four corner handles.
class CropOverlayAccessible : public QAccessibleWidget {
public:
    explicit CropOverlayAccessible(CropOverlay* overlay)
        : QAccessibleWidget(overlay, QAccessible::Pane) {
        for (std::size_t i = 0; i < corners_.size(); ++i)
            corners_[i] = QAccessible::registerAccessibleInterface(
                new CropCornerAccessible(overlay, CropGeometry::kCorners[i]));
    }
    ~CropOverlayAccessible() override {
        for (QAccessible::Id id : corners_)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return QAccessibleWidget::childCount() + int(corners_.size()); }
    QAccessibleInterface* child(int index) const override {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        if (index - widgets < int(corners_.size()))
            return QAccessible::accessibleInterface(corners_[std::size_t(index - widgets)]);
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (std::size_t i = 0; i < corners_.size(); ++i)
            if (QAccessible::accessibleInterface(corners_[i]) == child)
                return QAccessibleWidget::childCount() + int(i);
        return QAccessibleWidget::indexOfChild(child);
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (QAccessible::Id id : corners_)
            if (QAccessibleInterface* corner = QAccessible::accessibleInterface(id);
                corner->rect().contains(x, y))
                return corner;
        return QAccessibleWidget::childAt(x, y);
    }

private:
    std::array<QAccessible::Id, 4> corners_{};
};

QAccessibleInterface* viewerInterface(const QString&, QObject* object) {
    if (auto* look = qobject_cast<LookButton*>(object))
        return new LookButtonAccessible(look);
    if (auto* overlay = qobject_cast<CropOverlay*>(object))
        return new CropOverlayAccessible(overlay);
    auto* slider = qobject_cast<QSlider*>(object);
    if (slider && qobject_cast<AdjustmentSlider*>(slider->parent()))
        return new AdjustmentAccessible(slider);
    return nullptr;
}

} // namespace

void ViewerAccessibility::install() {
    static const bool installed = [] {
        QAccessible::installFactory(&viewerInterface);
        return true;
    }();
    Q_UNUSED(installed);
}
