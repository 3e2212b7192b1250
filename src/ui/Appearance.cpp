#include "Appearance.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPalette>
#include <QStyleFactory>

using namespace Qt::StringLiterals;

namespace Appearance {

void apply(QApplication& app) {
    app.setStyle(QStyleFactory::create(u"Fusion"_s));
    QPalette palette;
    const QColor window = grey(0.12);
    const QColor base = grey(0.09);
    const QColor text = grey(0.92);
    const QColor accent = QColor(0x0a, 0x84, 0xff);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, grey(0.14));
    palette.setColor(QPalette::ToolTipBase, grey(0.2));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, grey(1, 0.4));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, grey(0.22));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::Light, grey(0.3));
    palette.setColor(QPalette::Midlight, grey(0.25));
    palette.setColor(QPalette::Mid, grey(0.18));
    palette.setColor(QPalette::Dark, grey(0.06));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, grey(1, 0.35));
    palette.setColor(QPalette::Disabled, QPalette::Button, grey(0.17));
    app.setPalette(palette);
}

QFont font(TextStyle style, QFont::Weight weight) {
    QFont f = QApplication::font();
    switch (style) {
    case TextStyle::body:
        f.setPixelSize(13);
        break;
    case TextStyle::caption:
        f.setPixelSize(11);
        break;
    case TextStyle::headline:
        f.setPixelSize(13);
        weight = std::max(weight, QFont::DemiBold);
        break;
    case TextStyle::title2:
        f.setPixelSize(19);
        break;
    }
    f.setWeight(weight);
    return f;
}

QFont monospacedDigits(QFont font) {
    // The UI font's digits are of one width already; keep numbers from jittering
    // by never letting the font substitute proportional figures.
    font.setStyleStrategy(QFont::PreferMatch);
    return font;
}

QFont monospaced(QFont font) {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(font.pixelSize());
    fixed.setWeight(font.weight());
    return fixed;
}

} // namespace Appearance

void Appearance::fitWrappedText(QLabel* label, int maxWidth) {
    const QFontMetrics metrics(label->font());
    const QRect text =
        metrics.boundingRect(QRect(0, 0, maxWidth, 100000), Qt::TextWordWrap | Qt::AlignLeft, label->text());
    const int width = std::min(maxWidth, text.width() + 1);
    label->setFixedWidth(width);
    label->setFixedHeight(std::max(0, label->heightForWidth(width))); // -1 for no text
}

void Appearance::styleButton(QAbstractButton* button) {
    button->setStyleSheet(
        u"QPushButton { background: rgb(46, 46, 46); color: white; border: none; border-radius: 6px;"
        u" padding: 5px 12px; }"
        u"QPushButton:pressed { background: rgb(61, 61, 61); }"
        u"QPushButton:disabled { background: rgb(36, 36, 36); color: rgba(255, 255, 255, 90); }"_s);
}

void Appearance::styleAccentButton(QAbstractButton* button) {
    button->setStyleSheet(
        u"QPushButton { background: #0a84ff; color: white; border: none; border-radius: 6px;"
        u" padding: 5px 14px; }"
        u"QPushButton:pressed { background: #0070e0; }"
        u"QPushButton:disabled { background: #2a4a70; color: rgba(255, 255, 255, 120); }"_s);
}

void Appearance::styleSegmented(QWidget* row) {
    // The track is the row's own background; each segment is transparent
    // until checked, when it stands out as a light grey raised cell.
    row->setAttribute(Qt::WA_StyledBackground);
    if (row->objectName().isEmpty())
        row->setObjectName(u"segments"_s);
    const QString track = u"#"_s + row->objectName();
    row->setStyleSheet(
        track + u" { background: rgba(255, 255, 255, 22); border-radius: 7px; }"_s + track +
        u" QAbstractButton { background: transparent; color: rgba(255, 255, 255, 200); border: none;"
        u" border-radius: 5px; margin: 2px; padding: 3px 6px; }"_s +
        track + u" QAbstractButton:checked { background: rgb(108, 108, 112); color: white; }"_s + track +
        u" QAbstractButton:disabled { color: rgba(255, 255, 255, 80); }"_s + track +
        u" QAbstractButton:checked:disabled { background: rgb(58, 58, 60); color: rgba(255, 255, 255, 130); }"_s);
}
