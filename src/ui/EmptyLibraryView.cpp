#include "EmptyLibraryView.h"

#include "Appearance.h"
#include "SymbolView.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

EmptyLibraryView::EmptyLibraryView(QWidget* parent)
    : QWidget(parent)
    , title_(new QLabel(this))
    , detail_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(14);
    layout->addStretch();
    auto* camera = new SymbolView(Symbols::Symbol::camera, 52, Appearance::secondaryText(), 1.6, this);
    layout->addWidget(camera, 0, Qt::AlignHCenter);

    title_->setFont(Appearance::font(Appearance::TextStyle::title2, QFont::DemiBold));
    title_->setAlignment(Qt::AlignCenter);
    layout->addWidget(title_, 0, Qt::AlignHCenter);

    detail_->setWordWrap(true);
    detail_->setAlignment(Qt::AlignCenter);
    detail_->setFont(Appearance::font(Appearance::TextStyle::body));
    QPalette secondary = detail_->palette();
    secondary.setColor(QPalette::WindowText, Appearance::secondaryText());
    detail_->setPalette(secondary);
    layout->addWidget(detail_, 0, Qt::AlignHCenter);

    auto* open = new QPushButton(u"Open Folder\u2026"_s, this);
    open->setObjectName(u"openFolder"_s);
    open->setFocusPolicy(Qt::NoFocus);
    open->setMinimumSize(140, 32);
    open->setFont(Appearance::font(Appearance::TextStyle::body));
    connect(open, &QPushButton::clicked, this, &EmptyLibraryView::openFolder);
    layout->addWidget(open, 0, Qt::AlignHCenter);
    layout->addStretch();

    setSource(PhotoSource::none());
}

void EmptyLibraryView::setSource(const PhotoSource& source) {
    title_->setText(title(source));
    detail_->setText(detail(source));
    Appearance::fitWrappedText(detail_, kDetailWidth);
}

QString EmptyLibraryView::title(const PhotoSource& source) {
    return source.kind == PhotoSource::Kind::none ? u"Connect your Zorva"_s : u"No photos here"_s;
}

QString EmptyLibraryView::detail(const PhotoSource& source) {
    switch (source.kind) {
    case PhotoSource::Kind::camera:
        return source.name + u" has no JPEG or RAW photos."_s;
    case PhotoSource::Kind::folder:
        return QFileInfo(source.url).fileName() + u" has no JPEG or RAW photos."_s;
    case PhotoSource::Kind::none:
        break;
    }
    return u"Plug the camera in by USB and switch it on. Its photos open here by themselves."_s;
}
