#pragma once

#include <QColor>
#include <QFont>

class QAbstractButton;
class QApplication;
class QLabel;
class QWidget;

// The viewer's look: always the dark appearance, whatever the desktop theme,
// and the few text styles the views use. Sizes are in points (Qt's
// device-independent pixels).
namespace Appearance {

// Fusion with a dark palette, for the whole application.
void apply(QApplication& app);

enum class TextStyle { body, caption, headline, title2 };
QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);
// Digits of equal width, for values that change while a control moves.
QFont monospacedDigits(QFont font);
// A fixed-width font of the same size and weight.
QFont monospaced(QFont font);

// Sizes a word-wrapped label to its text: as wide as the text needs up to
// `maxWidth`, and tall enough for every line (Qt's own hint for wrapped
// labels is a guess that cuts lines off or wraps short texts early).
// Call after each change of the text.
void fitWrappedText(QLabel* label, int maxWidth);

// Push buttons drawn like the look tiles: rounded, dark grey, lighter while pressed.
void styleButton(QAbstractButton* button);
// The same with the accent colour, for the one default action of a group.
void styleAccentButton(QAbstractButton* button);
// A row of checkable buttons drawn as one segmented control: a rounded track
// with the checked segment raised on it. Call after the buttons are added.
void styleSegmented(QWidget* row);

// A grey of the given white level (0 black .. 1 white) and opacity.
inline QColor grey(double white, double opacity = 1.0) {
    return QColor::fromRgbF(float(white), float(white), float(white), float(opacity));
}
inline QColor black(double opacity) {
    return grey(0, opacity);
}
inline QColor white(double opacity = 1.0) {
    return grey(1, opacity);
}
// The translucent material under toasts, notices and the crop bar.
inline QColor material() {
    return grey(0.16, 0.86);
}
inline QColor secondaryText() {
    return grey(1, 0.55);
}

} // namespace Appearance
