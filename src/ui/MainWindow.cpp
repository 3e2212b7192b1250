#include "MainWindow.h"

#include "ContentView.h"
#include "PhotoCommands.h"
#include "ViewerToolbar.h"
#include "WindowTitles.h"

#include "store/ViewerStore.h"

#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(ViewerStore& store, ThumbnailLoader& thumbnails, StageImageConverter::Convert convert,
                       QWidget* parent)
    : QMainWindow(parent)
    , store_(store)
    , content_(new ContentView(store, thumbnails, std::move(convert), this))
    , commands_(new PhotoCommands(store, *this))
    , toolbar_(new ViewerToolbar(store, this)) {
    setObjectName(u"viewer"_s);
    // The minimum is the content's: the menu bar and toolbar come on top of it.
    content_->setMinimumSize(900, 600);
    setCentralWidget(content_);
    setAttribute(Qt::WA_QuitOnClose);
    addToolBar(Qt::TopToolBarArea, toolbar_);

    for (auto signal :
         {&ViewerStore::libraryChanged, &ViewerStore::shotsChanged, &ViewerStore::currentIndexChanged})
        connect(&store_, signal, this, &MainWindow::updateTitle);
    connect(&store_.cast(), &CastController::stateChanged, this, &MainWindow::updateTitle);
    connect(&store_, &ViewerStore::permanentDeleteCandidateChanged, this,
            &MainWindow::confirmPermanentDelete);
    connect(&store_, &ViewerStore::isImmersiveChanged, this, [this] {
        menuBar()->setVisible(!store_.isImmersive());
        toolbar_->setVisible(!store_.isImmersive());
    });
    updateTitle();
}

namespace {
const QString kSizeKey = u"window/size"_s;
const QString kMaximizedKey = u"window/maximized"_s;
} // namespace

QRect MainWindow::firstGeometry(const QRect& available, const QSize& minimum, const QSize& preferred) {
    // Before the window is shown its frame is unknown: leave room for a title bar so the
    // frame fits the available area too.
    constexpr int kTitleBar = 40;
    const QSize room(available.width(), available.height() - kTitleBar);
    const QSize size = preferred.boundedTo(room).expandedTo(minimum);
    QRect geometry(QPoint(), size);
    geometry.moveCenter(available.center() + QPoint(0, kTitleBar / 2));
    return geometry;
}

void MainWindow::placeOn(const QScreen* screen, const QSettings& settings) {
    if (!screen)
        return;
    setGeometry(firstGeometry(screen->availableGeometry(), minimumSizeHint(), preferredSize(settings)));
    if (settings.value(kMaximizedKey).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
}

QSize MainWindow::preferredSize(const QSettings& settings) {
    const QSize saved = settings.value(kSizeKey).toSize();
    return saved.isValid() ? saved : QSize(1280, 860);
}

void MainWindow::saveSize(QSettings& settings) const {
    // Full screen is a mode of its own, not a size to come back to.
    const bool maximized = isMaximized() && !isFullScreen();
    const QSize size = isMaximized() || isFullScreen() ? normalGeometry().size() : this->size();
    if (size.isValid())
        settings.setValue(kSizeKey, size);
    settings.setValue(kMaximizedKey, maximized);
}

QString MainWindow::subtitle(const ViewerStore& store) {
    QStringList parts;
    if (const std::optional<Shot> shot = store.currentShot()) {
        parts << QString::number(store.currentIndex() + 1) + u" of "_s +
                     QString::number(store.shots().size());
        parts << shot->name;
    }
    const CastState& cast = store.cast().state();
    if (cast.kind == CastState::Kind::connecting)
        parts << u"Connecting to "_s + cast.device + u"\u2026"_s;
    else if (cast.kind == CastState::Kind::casting)
        parts << u"Casting to "_s + cast.device;
    return parts.join(u" \u00B7 "_s);
}

QString MainWindow::subtitle() const {
    return subtitle(store_);
}

QString MainWindow::deleteTitle(const QString& name) {
    return u"Delete \u201C"_s + name + u"\u201D permanently?"_s;
}

void MainWindow::updateTitle() {
    // While another folder is read, the title keeps naming the list still shown.
    const PhotoSource& source = store_.shots().isEmpty() ? store_.library().source : store_.shotsSource();
    const QString title = WindowTitles::title(source);
    const QString sub = subtitle();
    setWindowTitle(sub.isEmpty() ? title : title + u" \u2014 "_s + sub);
}

void MainWindow::confirmPermanentDelete() {
    const std::optional<Shot> candidate = store_.permanentDeleteCandidate();
    if (!candidate || confirmation_)
        return;
    confirmation_ = new QMessageBox(this);
    confirmation_->setObjectName(u"deleteConfirmation"_s);
    confirmation_->setIcon(QMessageBox::Warning);
    confirmation_->setWindowModality(Qt::WindowModal);
    confirmation_->setText(deleteTitle(candidate->name));
    confirmation_->setInformativeText(
        u"This card has no Trash, so its JPEG and RAW files can't be recovered."_s);
    QPushButton* remove = confirmation_->addButton(u"Delete Permanently"_s, QMessageBox::DestructiveRole);
    QPushButton* cancel = confirmation_->addButton(u"Cancel"_s, QMessageBox::RejectRole);
    confirmation_->setDefaultButton(cancel);
    confirmation_->setEscapeButton(cancel);
    connect(confirmation_, &QMessageBox::finished, this, [this, remove, shot = *candidate] {
        const bool confirmed = confirmation_->clickedButton() == remove;
        confirmation_->deleteLater();
        confirmation_ = nullptr;
        // The question closes either way; only its first button deletes.
        store_.setPermanentDeleteCandidate(std::nullopt);
        if (confirmed)
            store_.deletePermanently(shot);
    });
    confirmation_->open();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        Q_EMIT firstShown();
    }
}
