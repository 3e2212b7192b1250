#include "UiHarness.h"

#include "ui/Appearance.h"
#include "ui/PresentationView.h"
#include "ui/ViewerToolbar.h"

#include <QMenuBar>
#include <QTimer>

using namespace Qt::StringLiterals;

class WindowLifecycleTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void darkOnALightDesktop() {
        QPalette light;
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::ToolTipBase})
            light.setColor(role, QColor(245, 245, 245));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText})
            light.setColor(role, Qt::black);
        QApplication::setPalette(light);
        Appearance::apply(*qApp);

        ViewerHarness h;
        for (QWidget* widget :
             std::initializer_list<QWidget*>{&h.window, h.window.menuBar(), h.window.toolbar()}) {
            const QPalette& palette = widget->palette();
            for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::ToolTipBase})
                QVERIFY2(palette.color(role).lightnessF() < 0.3, qPrintable(widget->objectName()));
            for (auto role :
                 {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText})
                QVERIFY2(palette.color(role).lightnessF() > 0.7, qPrintable(widget->objectName()));
        }
    }

    // Last: it runs the application's event loop to its end.
    void closingTheWindowQuits() {
        ViewerHarness h;
        // Even while the photo is shown full screen on the TV.
        h.screens.set({h.screens.list.first(), ScreenInfo{u"TV"_s, QRect(0, 0, 640, 360)}});
        h.store.tvDisplay().present(
            [&](const ScreenInfo& screen) { return PresentationView::cover(h.store, screen); });
        QVERIFY(h.store.tvDisplay().isPresenting());
        QTimer::singleShot(0, &h.window, &QWidget::close);
        QTimer stuck;
        connect(&stuck, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        stuck.start(5000);
        QCOMPARE(QApplication::exec(), 0);
    }
};

QTEST_MAIN(WindowLifecycleTest)
#include "WindowLifecycleTest.moc"
