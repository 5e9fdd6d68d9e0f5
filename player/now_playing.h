#pragma once

// What the player tells about the file it has loaded: the name the file came
// under and whatever its own tags say, and the panel that shows it in place of
// the video area while a file without pictures plays.

#include <QImage>
#include <QString>
#include <QWidget>

class QLabel;
class QMediaMetaData;

namespace velmora {

struct NowPlayingInfo {
    // The file's name as it was queued; what is shown when the tags say nothing.
    QString name;
    QString title;
    QString artist;
    QString album;
    // The picture the file carries, if any.
    QImage cover;
    qint64 lengthMs = 0;

    // The tags' title, or the file's name.
    QString DisplayTitle() const { return title.isEmpty() ? name : title; }

    // Reads title, artist (contributing, else album artist), album and cover
    // (cover art, else thumbnail) from what the media backend found.
    static NowPlayingInfo FromMetaData(const QString& name, const QMediaMetaData& metaData);
};

class NowPlayingPanel : public QWidget {
    Q_OBJECT
public:
    explicit NowPlayingPanel(QWidget* parent = nullptr);

    void Show(const NowPlayingInfo& info);

    QString TitleText() const;
    QString ArtistText() const;
    QString AlbumText() const;
    // The picture on show: the file's cover, or the program's artwork.
    const QImage& Art() const { return art_; }
    bool ShowsCover() const { return showsCover_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void rescaleArt();

    QLabel* artLabel_;
    QLabel* title_;
    QLabel* artist_;
    QLabel* album_;
    QImage art_;
    QImage artwork_;
    bool showsCover_ = false;
    qint64 scaledKey_ = -1;
    int scaledSide_ = 0;
};

} // namespace velmora
