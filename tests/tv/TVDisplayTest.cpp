#include "tv/TVDisplay.h"
#include "tv/TvFakes.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const ScreenInfo kLaptop{u"eDP-1"_s, QRect(0, 0, 1440, 900)};
const ScreenInfo kMonitor{u"DP-2"_s, QRect(1440, 0, 2560, 1440)};
const ScreenInfo kTv{u"HDMI-1"_s, QRect(4000, 0, 1920, 1080)};

// Stands for the presentation window: remembers the screen it was opened on.
struct Opened {
    QList<ScreenInfo> screens;
    QList<QPointer<QObject>> windows;

    TVDisplay::WindowOpener opener() {
        return [this](const ScreenInfo& screen) {
            screens.append(screen);
            auto window = std::make_unique<QObject>();
            windows.append(window.get());
            return window;
        };
    }
};

} // namespace

class TVDisplayTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The last screen of the system's list is the TV; changes arrive with the
    // notification; with one screen, or no list at all, there is no TV to present on.
    void lastScreenFollowsChanges() {
        FakeScreens screens;
        screens.list = {kLaptop, kMonitor, kTv};
        TVDisplay tv(&screens);
        QSignalSpy names(&tv, &TVDisplay::secondScreenNameChanged);
        QCOMPARE(tv.secondScreenName(), u"HDMI-1"_s);

        screens.set({kLaptop, kTv, kMonitor});
        QCOMPARE(tv.secondScreenName(), u"DP-2"_s);
        QCOMPARE(names.size(), 1);
        screens.set({kLaptop, kTv, kMonitor});
        QCOMPARE(names.size(), 1);
        screens.set({kLaptop, {u"Living Room"_s, kTv.geometry}});
        QCOMPARE(tv.secondScreenName(), u"Living Room"_s);
        screens.set({kLaptop});
        QCOMPARE(tv.secondScreenName(), std::nullopt);
        QCOMPARE(names.size(), 3);

        Opened opened;
        tv.present(opened.opener());
        TVDisplay none(nullptr);
        QCOMPARE(none.secondScreenName(), std::nullopt);
        none.present(opened.opener());
        QVERIFY(opened.screens.isEmpty());
        QVERIFY(!tv.isPresenting());
    }

    // A window on the TV's screen; a second present replaces it; the TV going
    // away, close and the desktop closing the window all end the presentation.
    void presentingAndItsEnds() {
        FakeScreens screens;
        screens.list = {kLaptop, kTv};
        TVDisplay tv(&screens);
        QSignalSpy presenting(&tv, &TVDisplay::isPresentingChanged);
        Opened opened;
        tv.present(opened.opener());
        QCOMPARE(opened.screens, QList<ScreenInfo>{kTv});
        QVERIFY(tv.isPresenting());
        tv.present(opened.opener());
        QCOMPARE(opened.screens.size(), 2);
        QVERIFY(opened.windows[0].isNull());
        QVERIFY(!opened.windows[1].isNull());
        QVERIFY(tv.isPresenting());
        QCOMPARE(presenting.size(), 3);

        screens.set({kLaptop});
        QVERIFY(opened.windows[1].isNull());
        QVERIFY(!tv.isPresenting());

        screens.set({kLaptop, kTv});
        tv.present(opened.opener());
        tv.close();
        QVERIFY(opened.windows[2].isNull());
        QVERIFY(!tv.isPresenting());
        tv.close();
        QVERIFY(!tv.isPresenting());

        tv.present(opened.opener());
        QCloseEvent closed;
        QCoreApplication::sendEvent(opened.windows[3], &closed);
        QVERIFY(!tv.isPresenting());
        QTRY_VERIFY(opened.windows[3].isNull());
    }
};

QTEST_GUILESS_MAIN(TVDisplayTest)
#include "TVDisplayTest.moc"
