#include "UiHarness.h"

#include "ui/AdjustmentSlider.h"
#include "ui/CropBar.h"
#include "ui/CropOverlay.h"
#include "ui/EditPanel.h"
#include "ui/LookButton.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace {

void comparePoint(double actual, double expected) {
    QVERIFY2(qAbs(actual - expected) < 1e-6, qPrintable(u"%1 != %2"_s.arg(actual).arg(expected)));
}

// Drags with the left button from `from` by `by`, in steps, as a hand would.
void drag(QWidget* widget, QPointF from, QPointF by, int steps = 4) {
    QTest::mousePress(widget, Qt::LeftButton, {}, from.toPoint());
    for (int i = 1; i <= steps; ++i) {
        QMouseEvent move(QEvent::MouseMove, from + by * (double(i) / steps),
                         widget->mapToGlobal(from + by * (double(i) / steps)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    QTest::mouseRelease(widget, Qt::LeftButton, {}, (from + by).toPoint());
}

} // namespace

class EditPanelTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    void initTestCase() { TestImages::writeJpeg(dir_.filePath(u"A.JPG"_s), QSize(900, 600), Qt::darkCyan); }

    void panelFollowsTheEditFitsAndSaves() {
        ViewerHarness h(dir_.path());
        EditPanel* panel = h.window.content()->editPanel();
        QVERIFY(!panel->isVisible());
        h.store.setEditPanelShown(true);
        QVERIFY(panel->isVisible());

        QCOMPARE(panel->cropButton()->text(), u"Crop\u2026"_s);
        QVERIFY(!panel->removeCropButton()->isVisible());
        QVERIFY(!panel->resetButton()->isEnabled());
        QCOMPARE(panel->slider(u"Exposure"_s)->valueText(), u"+0.0 EV"_s);

        panel->lookButton(u"Chrome"_s)->click();
        QCOMPARE(h.store.currentEdit().look, Look::chrome);
        QVERIFY(panel->lookButton(u"Chrome"_s)->isSelected());
        QVERIFY(!panel->lookButton(u"Natural"_s)->isSelected());
        QVERIFY(QAccessible::queryAccessibleInterface(panel->lookButton(u"Chrome"_s))->state().selected);
        QVERIFY(!QAccessible::queryAccessibleInterface(panel->lookButton(u"Natural"_s))->state().selected);
        QVERIFY(panel->resetButton()->isEnabled());

        Edit edit = h.store.currentEdit();
        edit.look = Look::natural;
        edit.adjustments = {0, 1.2, 0, -0.35};
        edit.crop = UnitRect{0, 0, 0.5, 0.5};
        h.store.setCurrentEdit(edit);
        QCOMPARE(panel->slider(u"Contrast"_s)->valueText(), u"+20"_s);
        QCOMPARE(panel->slider(u"Saturation"_s)->valueText(), u"-100"_s);
        QCOMPARE(panel->slider(u"Warmth"_s)->valueText(), u"-35"_s);
        QAccessibleInterface* contrast =
            QAccessible::queryAccessibleInterface(panel->slider(u"Contrast"_s)->slider());
        QCOMPARE(contrast->text(QAccessible::Name), u"Contrast"_s);
        QCOMPARE(contrast->text(QAccessible::Value), u"+20"_s);
        QCOMPARE(panel->cropButton()->text(), u"Change Crop\u2026"_s);
        QVERIFY(panel->removeCropButton()->isVisible());

        h.store.startCrop();
        QVERIFY(!panel->cropButton()->isEnabled());
        QVERIFY(!panel->removeCropButton()->isVisible());
        h.store.cancelCrop();
        panel->removeCropButton()->click();
        QCOMPARE(h.store.currentEdit().crop, std::nullopt);
        QCOMPARE(h.store.currentEdit().adjustments.contrast, 1.2);

        // The keys' caption breaks only between its items.
        QLabel* caption = nullptr;
        for (QLabel* label : panel->findChildren<QLabel*>())
            if (label->text().contains(u"flip"_s))
                caption = label;
        QVERIFY(caption);
        const auto plain = [](QString text) {
            return text.replace(QChar(0x00A0), u' ').remove(QChar(0x2060)).trimmed();
        };
        QCOMPARE(plain(caption->text()),
                 u"\u2191 \u2193 flip looks \u00B7 1\u20138 pick one \u00B7 0 resets \u00B7 S saves"_s);

        const QStringList items = plain(caption->text()).split(u" \u00B7 "_s);
        for (int width = 40; width <= 320; width += 4) {
            QTextLayout layout(caption->text(), caption->font());
            QTextOption option;
            option.setWrapMode(QTextOption::WordWrap);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(width);
                QString text = plain(caption->text().mid(line.textStart(), line.textLength()));
                if (text.endsWith(u" \u00B7"_s))
                    text.chop(2);
                for (const QString& part : text.split(u" \u00B7 "_s))
                    QVERIFY2(items.contains(part), qPrintable(u"%1 at width %2"_s.arg(part).arg(width)));
            }
            layout.endLayout();
        }

        // Double-click resets one slider; with nothing else changed, Reset turns off.
        edit = Edit{};
        edit.adjustments.contrast = 1.2;
        h.store.setCurrentEdit(edit);
        QTest::mouseDClick(panel->slider(u"Contrast"_s)->slider(), Qt::LeftButton);
        QCOMPARE(h.store.currentEdit().adjustments.contrast, 1.0);
        QVERIFY(!panel->resetButton()->isEnabled());

        // Dragging a slider writes the edit as it goes.
        QSlider* exposure = panel->slider(u"Exposure"_s)->slider();
        exposure->setSliderDown(true);
        exposure->setSliderPosition(750);
        QCOMPARE(h.store.currentEdit().adjustments.exposure, 1.0);
        exposure->setSliderPosition(800);
        QCOMPARE(h.store.currentEdit().adjustments.exposure, 1.2);
        exposure->setSliderDown(false);
        QCOMPARE(panel->slider(u"Exposure"_s)->valueText(), u"+1.2 EV"_s);

        // Content of 900 x 600, the smallest: the panel fits without scrolling, "Save Copy" in view.
        h.window.resize(h.window.minimumSizeHint());
        QTRY_COMPARE(h.window.content()->size(), QSize(900, 600));
        QTRY_COMPARE(panel->verticalScrollBar()->maximum(), 0);
        const QRect save(panel->saveButton()->mapTo(panel, QPoint()), panel->saveButton()->size());
        QVERIFY(panel->rect().contains(save));

        // Saving shows its progress, and the button cannot start a second save meanwhile.
        panel->saveButton()->click();
        QVERIFY(h.store.isSaving());
        QVERIFY(!panel->saveButton()->isEnabled() && panel->isShowingSaveProgress());
        h.settle();
        QVERIFY(panel->saveButton()->isEnabled() && !panel->isShowingSaveProgress());
        QCOMPARE(QDir(h.editsFolder()).entryList(QDir::Files).size(), 1);
        // Shorter than that (a panel squeezed by a custom layout) it scrolls.
        panel->setFixedHeight(300);
        QTRY_VERIFY(panel->verticalScrollBar()->maximum() > 0);
    }

    void cropFrameMovesAndResizes() {
        ViewerHarness h(dir_.path(), QSize(1216 + 280 + 1, 900));
        h.store.startCrop();
        h.settleAndPaint();
        PhotoStage* stage = h.stage();
        CropOverlay* overlay = stage->cropOverlay();
        QVERIFY(overlay->isVisible());
        const QRectF frame = overlay->frame();
        QVERIFY(frame.width() > 100);
        // The four corner handles are elements of their own for assistive technology.
        QAccessibleInterface* crop = QAccessible::queryAccessibleInterface(overlay);
        int corners = 0;
        for (int i = 0; i < crop->childCount(); ++i) {
            QAccessibleInterface* child = crop->child(i);
            if (child->text(QAccessible::Name) != u"Crop corner"_s)
                continue;
            ++corners;
            QCOMPARE(child->parent(), crop);
            QCOMPARE(crop->indexOfChild(child), i);
        }
        QCOMPARE(corners, 4);
        const QPoint topLeft = overlay->mapToGlobal(overlay->draftRect().topLeft().toPoint());
        QCOMPARE(crop->childAt(topLeft.x(), topLeft.y())->text(QAccessible::Name), u"Crop corner"_s);
        // Reserve for the crop bar at the foot of the stage.
        QVERIFY(frame.bottom() <= stage->height() - 72);

        // Moving: half the photo's width right, a quarter of its height up: held inside.
        h.store.setCropDraft(UnitRect{0.1, 0.1, 0.5, 0.5});
        const QPointF inside = overlay->draftRect().center();
        drag(overlay, inside, QPointF(frame.width() / 2, -frame.height() / 4));
        comparePoint(h.store.cropDraft().x, 0.5);
        comparePoint(h.store.cropDraft().y, 0.0);
        QCOMPARE(h.store.cropDraft().width, 0.5);

        // A second drag starts from the draft as it is now.
        const double step = std::round(frame.width() / 10); // mouse events come in whole points
        drag(overlay, overlay->draftRect().center(), QPointF(-step, 0));
        QVERIFY(qAbs(h.store.cropDraft().x - (0.5 - step / frame.width())) < 1.5 / frame.width());

        // Less than a point: nothing. The whole photo: cannot move.
        QSignalSpy writes(&h.store, &ViewerStore::cropDraftChanged);
        drag(overlay, overlay->draftRect().center(), QPointF(0.5, 0), 1);
        QCOMPARE(writes.count(), 0);
        h.store.setCropDraft(UnitRect::whole());
        writes.clear();
        drag(overlay, overlay->draftRect().center(), QPointF(40, 30));
        QCOMPARE(writes.count(), 0);

        // A corner: bottom right of (0.1, 0.1, 0.5, 0.5) dragged far out stops at the photo's edge.
        h.store.setCropDraft(UnitRect{0.1, 0.1, 0.5, 0.5});
        const QPointF corner = overlay->handleRect(CropGeometry::Corner::bottomRight).center();
        drag(overlay, corner, QPointF(frame.width(), frame.height()));
        comparePoint(h.store.cropDraft().width, 0.9);
        comparePoint(h.store.cropDraft().height, 0.9);
        comparePoint(h.store.cropDraft().x, 0.1);

        // The bar's buttons.
        CropBar* bar = stage->cropBar();
        QVERIFY(bar->isVisible());
        bar->segment(int(CropAspect::square))->click();
        QCOMPARE(h.store.cropAspect(), CropAspect::square);
        bar->resetButton()->click();
        comparePoint(h.store.cropDraft().width, 600.0 / 900.0);
        bar->doneButton()->click();
        QVERIFY(!h.store.stageMode().isCropping());
        QVERIFY(h.store.currentEdit().crop);
    }
};

QTEST_MAIN(EditPanelTest)
#include "EditPanelTest.moc"
