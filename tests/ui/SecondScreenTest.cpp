#include "UiHarness.h"

#include "platform/GuiScreenList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

using namespace Qt::StringLiterals;

// The real screens of the desktop, three of them: the offscreen platform is
// started with a screen layout of the test's own (see main below).
class SecondScreenTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theLastScreenGetsThePresentation() {
        if (QGuiApplication::screens().size() != 3)
            QSKIP("the platform does not take a screen layout");
        GuiScreenList screens;
        QCOMPARE(screens.screens().last(), (ScreenInfo{u"Projector"_s, QRect(3360, 0, 1280, 720)}));

        QTemporaryDir folder;
        TestImages::writeJpeg(folder.filePath(u"ZRV_0001.JPG"_s), QSize(400, 300), Qt::red);
        ViewerHarness h(folder.path());
        TVDisplay display(&screens);
        QCOMPARE(display.secondScreenName(), u"Projector"_s);
        display.present([&](const ScreenInfo& screen) { return PresentationView::cover(h.store, screen); });
        QVERIFY(display.isPresenting());
        PresentationView* view = nullptr;
        QTRY_VERIFY((view = shownPresentation()));
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QCOMPARE(view->windowHandle()->screen()->name(), u"Projector"_s);
        QCOMPARE(view->geometry(), QRect(3360, 0, 1280, 720));
        const QImage shown = view->grab().toImage();
        // The 4:3 photo fitted to the 16:9 screen, black at the sides.
        QVERIFY(shown.pixelColor(640, 360).red() > 200);
        QVERIFY(shown.pixelColor(640, 360).green() < 60);
        QVERIFY(shown.pixelColor(170, 360).red() > 200);
        QCOMPARE(shown.pixelColor(150, 360), QColor(Qt::black));
        QCOMPARE(shown.pixelColor(1130, 360), QColor(Qt::black));
    }
};

int main(int argc, char* argv[]) {
    QTemporaryDir dir;
    const QString layout = dir.filePath(u"screens.json"_s);
    auto screen = [](const QString& name, int x, int width, int height) {
        return QJsonObject{{u"name"_s, name},         {u"x"_s, x},           {u"y"_s, 0},
                           {u"width"_s, width},       {u"height"_s, height}, {u"logicalDpi"_s, 96},
                           {u"logicalBaseDpi"_s, 96}, {u"dpr"_s, 1}};
    };
    const QJsonObject config{
        {u"screens"_s, QJsonArray{screen(u"Built-in"_s, 0, 1440, 900), screen(u"Monitor"_s, 1440, 1920, 1080),
                                  screen(u"Projector"_s, 3360, 1280, 720)}}};
    QFile file(layout);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(config).toJson()) < 0)
        return 1;
    file.close();
    qputenv("QT_QPA_PLATFORM", (u"offscreen:configfile="_s + layout).toLocal8Bit());
    QApplication app(argc, argv);
    SecondScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SecondScreenTest.moc"
