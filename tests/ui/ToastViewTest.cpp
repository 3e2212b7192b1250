#include "ui/ToastView.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;

class ToastViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aLongMessageShowsTwoLinesAndTheRestInTheTooltip() {
        ToastView view;
        auto* message = view.findChild<QLabel*>(u"toastMessage"_s);
        QVERIFY(message);

        view.setToast(Toast::make(u"Saved to Pictures"_s));
        QCOMPARE(message->text(), u"Saved to Pictures"_s);
        QVERIFY(message->toolTip().isEmpty());

        const QString word = u"ZRV_0123.JPG could not be moved to the Trash because the card is locked."_s;
        const QString longText = QString(word + u' ').repeated(8).trimmed();
        view.setToast(Toast::make(longText));
        const QString shown = message->text();
        const QStringList lines = shown.split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(longText.startsWith(lines[0]));
        QVERIFY(lines[1].endsWith(u"…"_s));
        const QFontMetrics metrics(message->font());
        for (const QString& line : lines)
            QVERIFY(metrics.horizontalAdvance(line) <= 520);
        // The label is tall enough for both lines, so neither is cut through.
        QVERIFY(message->height() >= 2 * metrics.height());
        QVERIFY(message->height() < 3 * metrics.lineSpacing());
        QCOMPARE(message->toolTip(), longText);
    }
};

QTEST_MAIN(ToastViewTest)
#include "ToastViewTest.moc"
