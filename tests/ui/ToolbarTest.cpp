#include "UiHarness.h"
#include "support/FakeCastReceiver.h"

#include "samplegen/SampleCard.h"
#include "ui/CastMenu.h"
#include "ui/EditPanel.h"
#include "ui/Filmstrip.h"
#include "ui/FormatPicker.h"
#include "ui/ViewerToolbar.h"

#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// The menu's rows as text; section titles in brackets, plain texts (disabled
// rows) in parentheses, checked TVs with a leading mark.
QStringList rows(const CastMenu& menu) {
    QStringList out;
    for (const QAction* action : menu.menu()->actions()) {
        if (action->isSeparator())
            out << u"["_s + action->text() + u"]"_s;
        else if (!action->isEnabled())
            out << u"("_s + action->text() + u")"_s;
        else
            out << (action->icon().isNull() ? QString() : u"\u2713 "_s) + action->text();
    }
    return out;
}

QAction* item(const CastMenu& menu, const QString& text) {
    for (QAction* action : menu.menu()->actions()) {
        if (action->text() == text)
            return action;
    }
    qFatal("no menu item %s", qPrintable(text));
}

DnsSdResult tvAt(quint16 port, const QString& name) {
    return DnsSdResult{{u"127.0.0.1"_s, port}, QMap<QString, QString>{{u"fn"_s, name}}};
}

int indexWhere(const QList<Shot>& shots, qsizetype formats, std::optional<ShotFormat> only = {}) {
    for (int i = 0; i < shots.size(); ++i) {
        const QList<ShotFormat> present = shots[i].files.formats();
        if (present.size() == formats && (!only || present.first() == *only))
            return i;
    }
    qFatal("no such shot on the sample card");
}

const QString kHint =
    u"(First connect the TV or projector as a second display in your system's display settings)"_s;

// The menu's rows with these under Google Cast, and no second screen.
QStringList castRows(const QStringList& tvRows) {
    return QStringList{u"[Google Cast]"_s} + tvRows + QStringList{u"[Second Screen]"_s, kHint};
}

} // namespace

class ToolbarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pickerEditAndTrashFollowTheShot() {
        ViewerHarness h;
        ViewerToolbar* bar = h.window.toolbar();
        FormatPicker* picker = bar->formatPicker();
        QVERIFY(bar->isVisible());
        QVERIFY(!picker->isEnabled());
        QVERIFY(!bar->editButton()->isEnabled());
        QVERIFY(!bar->trashButton()->isEnabled());
        QCOMPARE(picker->toolTip(), u"JPEG or RAW \u2014 press R to switch"_s);
        // The picker sits in the middle of the window.
        const int middle = picker->mapTo(&h.window, picker->rect().center()).x();
        QVERIFY2(std::abs(middle - h.window.width() / 2) <= 4, qPrintable(QString::number(middle)));

        QTemporaryDir card;
        QVERIFY(SampleCard::write(card.path()));
        h.openAndSettle(card.filePath(QString::fromLatin1(SampleCard::kFolder)));
        h.store.setPreferredFormat(ShotFormat::raw);
        h.store.select(indexWhere(h.store.shots(), 1, ShotFormat::jpeg));
        h.settle();
        QVERIFY(!picker->isEnabled());
        QVERIFY(picker->button(ShotFormat::jpeg)->isChecked());
        QCOMPARE(picker->toolTip(), u"This shot has only a JPEG file"_s);
        QVERIFY(bar->editButton()->isEnabled());
        QVERIFY(bar->trashButton()->isEnabled());

        h.store.select(indexWhere(h.store.shots(), 2));
        h.settle();
        QVERIFY(picker->isEnabled());
        QVERIFY(picker->button(ShotFormat::raw)->isChecked());
        QCOMPARE(picker->toolTip(), u"Switch between JPEG and RAW \u2014 press R"_s);
        picker->button(ShotFormat::jpeg)->click();
        QCOMPARE(h.store.preferredFormat(), ShotFormat::jpeg);
        QVERIFY(picker->button(ShotFormat::jpeg)->isChecked());
        h.key(Qt::Key_R);
        QVERIFY(picker->button(ShotFormat::raw)->isChecked());

        QCOMPARE(bar->editButton()->toolTip(), u"Show looks and adjustments (E)"_s);
        bar->editButton()->click();
        QVERIFY(h.store.isEditPanelShown());
        QCOMPARE(bar->editButton()->toolTip(), u"Hide edits (E)"_s);

        // Immersive mode hides the toolbar with the filmstrip and panel; leaving brings all back.
        h.key(Qt::Key_F);
        QVERIFY(!bar->isVisible());
        QVERIFY(!h.window.content()->filmstrip()->isVisible());
        QVERIFY(!h.window.content()->editPanel()->isVisible());
        h.store.toggleImmersive();
        QVERIFY(bar->isVisible());
        QVERIFY(h.window.content()->filmstrip()->isVisible());
        QVERIFY(h.window.content()->editPanel()->isVisible());
    }

    // The TV menu and the subtitle through every cast state.
    void castMenuAndSubtitle() {
        FakeCastReceiver tv;
        QString error;
        if (!tv.start(&error))
            QSKIP(qPrintable(u"no TLS test receiver: "_s + error));
        tv.answersLaunch = false;
        ViewerHarness h;
        h.store.start();
        CastMenu& menu = *h.window.toolbar()->castMenu();
        QCOMPARE(menu.symbol(), Symbols::Symbol::tv);
        QCOMPARE(rows(menu), castRows({u"(Looking for TVs\u2026)"_s}));

        h.castBrowser.announce({tvAt(tv.port(), u"Den"_s), tvAt(1, u"Attic"_s)});
        QCOMPARE(rows(menu), castRows({u"Attic"_s, u"Den"_s}));

        item(menu, u"Den"_s)->trigger();
        QCOMPARE(menu.symbol(), Symbols::Symbol::tvFill);
        QCOMPARE(menu.toolTip(), u"Connecting to Den\u2026"_s);
        QCOMPARE(rows(menu), castRows({u"Attic"_s, u"Den"_s, u"Stop Casting"_s}));
        QCOMPARE(h.window.subtitle(), u"Connecting to Den\u2026"_s);
        QCOMPARE(h.window.windowTitle(), u"Zorva Viewer \u2014 Connecting to Den\u2026"_s);

        QTRY_VERIFY_WITH_TIMEOUT(!tv.ofType(u"LAUNCH"_s).isEmpty(), 10000);
        tv.sendStatus(true);
        QTRY_COMPARE_WITH_TIMEOUT(h.store.cast().state(), CastState::casting(u"Den"_s), 10000);
        QCOMPARE(menu.toolTip(), u"Casting to Den"_s);
        QCOMPARE(rows(menu), castRows({u"Attic"_s, u"\u2713 Den"_s, u"Stop Casting"_s}));
        QTemporaryDir card;
        QVERIFY(SampleCard::write(card.path()));
        h.openAndSettle(card.filePath(QString::fromLatin1(SampleCard::kFolder)));
        QCOMPARE(h.window.subtitle(), u"1 of %1 \u00B7 %2 \u00B7 Casting to Den"_s.arg(h.store.shots().size())
                                          .arg(h.store.currentShot()->name));

        item(menu, u"Stop Casting"_s)->trigger();
        QCOMPARE(h.store.cast().state(), CastState::idle());
        QCOMPARE(menu.symbol(), Symbols::Symbol::tv);
        QVERIFY(!h.window.subtitle().contains(u"Den"_s));

        // Nothing listens on the Attic's port: the failure shows in the menu, and the TVs still work.
        item(menu, u"Attic"_s)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(h.store.cast().state().kind, CastState::Kind::failed, 10000);
        const CastState failed = h.store.cast().state();
        QCOMPARE(menu.symbol(), Symbols::Symbol::tv);
        QCOMPARE(menu.toolTip(), u"Couldn't cast to Attic: "_s + failed.reason);
        QCOMPARE(rows(menu), castRows({u"Attic"_s, u"Den"_s, u"(Attic: "_s + failed.reason + u")"_s}));
        QVERIFY(!h.window.subtitle().contains(u"Attic"_s));
        item(menu, u"Den"_s)->trigger();
        QCOMPARE(h.store.cast().state(), CastState::connecting(u"Den"_s));
        h.store.cast().disconnect();
    }

    // The second screen's item presents the photo there and stops again.
    void secondScreenItems() {
        ViewerHarness h;
        CastMenu& menu = *h.window.toolbar()->castMenu();
        const ScreenInfo here{h.window.screen()->name(), h.window.screen()->geometry()};
        h.screens.set({{u"Built-in"_s, QRect(-1440, 0, 1440, 900)}, here});
        const QString name = here.name;
        QCOMPARE(rows(menu).mid(2), (QStringList{u"[Second Screen]"_s, u"Show Full Screen on "_s + name}));

        item(menu, u"Show Full Screen on "_s + name)->trigger();
        QVERIFY(h.store.tvDisplay().isPresenting());
        PresentationView* view = nullptr;
        QTRY_VERIFY((view = shownPresentation()));
        QVERIFY(view->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(view->isFullScreen());
        QCOMPARE(menu.symbol(), Symbols::Symbol::tvFill);
        QCOMPARE(menu.toolTip(), u"Showing on the second screen"_s);
        QCOMPARE(rows(menu).mid(2), (QStringList{u"[Second Screen]"_s, u"Stop Showing on "_s + name}));
        // No photo: plain black.
        const QImage black = view->grab().toImage();
        QCOMPARE(black.pixelColor(black.width() / 2, black.height() / 2), QColor(Qt::black));

        QPointer<PresentationView> watched(view);
        item(menu, u"Stop Showing on "_s + name)->trigger();
        QVERIFY(watched.isNull());
        QVERIFY(!h.store.tvDisplay().isPresenting());
        QCOMPARE(menu.toolTip(), u"Cast to a TV or show on a second screen"_s);

        item(menu, u"Show Full Screen on "_s + name)->trigger();
        QVERIFY(h.store.tvDisplay().isPresenting());
        h.screens.set({here});
        QVERIFY(!h.store.tvDisplay().isPresenting());
        QCOMPARE(rows(menu).mid(2), (QStringList{u"[Second Screen]"_s, kHint}));
    }

    void presentationFitsTheImage() {
        QCOMPARE(PresentationView::imageRect({4000, 3000}, {1920, 1080}), QRectF(240, 0, 1440, 1080));
        QCOMPARE(PresentationView::imageRect({1000, 3000}, {1920, 1080}), QRectF(780, 0, 360, 1080));
        QCOMPARE(PresentationView::imageRect({}, {1920, 1080}), QRectF());
    }
};

QTEST_MAIN(ToolbarTest)
#include "ToolbarTest.moc"
