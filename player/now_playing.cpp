#include "now_playing.h"

#include "icons.h"

#include <QIcon>
#include <QLabel>
#include <QMediaMetaData>
#include <QPixmap>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora {

namespace {

// Tags may come as one text or as a list of them (several artists).
QString TagText(const QMediaMetaData& metaData, QMediaMetaData::Key key) {
    const QVariant value = metaData.value(key);
    if (value.canConvert<QStringList>() && value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString().trimmed();
}

QImage TagImage(const QMediaMetaData& metaData, QMediaMetaData::Key key) {
    const QVariant value = metaData.value(key);
    return value.canConvert<QImage>() ? value.value<QImage>() : QImage();
}

QLabel* CentredLabel(QWidget* parent, qreal scale, bool bold) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

} // namespace

NowPlayingInfo NowPlayingInfo::FromMetaData(const QString& name, const QMediaMetaData& metaData) {
    NowPlayingInfo info;
    info.name = name;
    info.title = TagText(metaData, QMediaMetaData::Title);
    info.artist = TagText(metaData, QMediaMetaData::ContributingArtist);
    if (info.artist.isEmpty())
        info.artist = TagText(metaData, QMediaMetaData::AlbumArtist);
    info.album = TagText(metaData, QMediaMetaData::AlbumTitle);
    info.cover = TagImage(metaData, QMediaMetaData::CoverArtImage);
    if (info.cover.isNull())
        info.cover = TagImage(metaData, QMediaMetaData::ThumbnailImage);
    return info;
}

NowPlayingPanel::NowPlayingPanel(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::white);
    setPalette(p);
    setMinimumSize(1, 1);

    artwork_ = QIcon(IconPath(IDB_ABOUT)).pixmap(256, 256).toImage();
    artLabel_ = new QLabel(this);
    artLabel_->setAlignment(Qt::AlignCenter);
    artLabel_->setMinimumSize(1, 1);
    title_ = CentredLabel(this, 1.4, true);
    artist_ = CentredLabel(this, 1.0, false);
    album_ = CentredLabel(this, 1.0, false);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(artLabel_, 4);
    layout->addWidget(title_);
    layout->addWidget(artist_);
    layout->addWidget(album_);
    layout->addStretch(1);
    Show(NowPlayingInfo{});
}

void NowPlayingPanel::Show(const NowPlayingInfo& info) {
    showsCover_ = !info.cover.isNull();
    art_ = showsCover_ ? info.cover : artwork_;
    title_->setText(info.DisplayTitle());
    artist_->setText(info.artist);
    artist_->setVisible(!info.artist.isEmpty());
    album_->setText(info.album);
    album_->setVisible(!info.album.isEmpty());
    rescaleArt();
}

QString NowPlayingPanel::TitleText() const {
    return title_->text();
}
QString NowPlayingPanel::ArtistText() const {
    return artist_->isVisibleTo(this) ? artist_->text() : QString();
}
QString NowPlayingPanel::AlbumText() const {
    return album_->isVisibleTo(this) ? album_->text() : QString();
}

void NowPlayingPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rescaleArt();
}

void NowPlayingPanel::rescaleArt() {
    // Half the shorter side leaves room for the texts below.
    const int side = std::max(1, std::min(width(), height()) / 2);
    // The tags and the length come in several updates; the same picture at
    // the same size is not scaled again.
    if (art_.cacheKey() == scaledKey_ && side == scaledSide_)
        return;
    scaledKey_ = art_.cacheKey();
    scaledSide_ = side;
    if (art_.isNull())
        artLabel_->clear();
    else
        artLabel_->setPixmap(QPixmap::fromImage(
            art_.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

} // namespace velmora
