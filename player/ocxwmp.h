#pragma once

// The media player control of the player view: a video area with its own
// transport controls over QMediaPlayer. Pictures, which the media backend does
// not show, are read with QImageReader and shown for a fixed time as if they
// were a short clip.

#include "now_playing.h"
#include "player_control.h"

#include <QImage>
#include <QMediaPlayer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <memory>

class QAudioOutput;
class QElapsedTimer;
class QFile;
class QLabel;
class QSlider;
class QStackedWidget;
class QTimer;
class QToolButton;
class QVideoWidget;

namespace velmora {

class PictureLabel;

class COcxwmp : public QWidget, public IPlayerControl {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultPictureDuration{5000};

    // The transport controls, as the program drives them.
    class Controls {
    public:
        void play();
        void pause();
        void stop();

    private:
        friend class COcxwmp;
        explicit Controls(COcxwmp& owner) : owner_(owner) {}
        COcxwmp& owner_;
    };

    explicit COcxwmp(QWidget* parent = nullptr);
    ~COcxwmp() override;

    // Loads a local path (or a URL with a scheme) without starting it.
    void SetURL(const QString& url) override;
    QString GetURL() const { return url_; }
    Controls& controls() { return controls_; }
    int GetPlayState() const override;

    // The text of the last failure to open or play the current file; empty
    // when there was none.
    QString ErrorText() const override { return errorText_; }

    // How long a picture stays on screen before it counts as ended.
    void SetPictureDuration(std::chrono::milliseconds duration) { pictureDuration_ = duration; }
    std::chrono::milliseconds PictureDuration() const { return pictureDuration_; }

    // The file loaded now: its name and what its tags say, with its length.
    const NowPlayingInfo& NowPlaying() const { return nowPlaying_; }
    // Milliseconds played of the file loaded now.
    qint64 Position() const;

    // True when url names a picture, which is shown rather than played.
    static bool IsPicturePath(const QString& url);

    // IPlayerControl
    void Play() override { controls_.play(); }
    QWidget* Window() override { return this; }

signals:
    void playStateChanged(int state);
    void nowPlayingChanged();

private:
    void play();
    void pause();
    void stop();

    void createPlayer();
    void dropPlayer();
    void replacePlayer();
    void loadMedia(const QString& url);
    void startPicture();
    qint64 pictureElapsedMs() const;
    void onPictureEnded();
    void onError(QMediaPlayer::Error error, const QString& text);
    void onPositionChanged(qint64 position);
    void onDurationChanged(qint64 duration);
    void seekTo(int position);
    void applySeek();
    void updateState();
    void updateTimes();
    void updateNowPlaying();

    Controls controls_{*this};
    QMediaPlayer* player_;
    QAudioOutput* audio_;
    QStackedWidget* screen_;
    QVideoWidget* video_;
    PictureLabel* picture_;
    NowPlayingPanel* nowPlayingPanel_;
    QToolButton* playPause_;
    QToolButton* stop_;
    QSlider* seek_;
    QLabel* elapsed_;
    QLabel* total_;
    QToolButton* mute_;
    QSlider* volume_;
    QLabel* status_;

    QString url_;
    // The open media file the player reads from.
    std::unique_ptr<QFile> file_;
    // The play state while a picture is the current file.
    bool isPicture_ = false;
    int pictureState_ = kPlayStateUndefined;
    QTimer* pictureTimer_;
    QTimer* pictureTick_;
    std::chrono::milliseconds pictureDuration_ = kDefaultPictureDuration;
    // Picture time already shown before the current run of the clock.
    qint64 pictureShownMs_ = 0;
    QElapsedTimer* pictureClock_;

    // Play was asked for since the file was loaded: a stopped player then
    // reads as stopped rather than ready.
    bool playRequested_ = false;
    // Stopped by the user: held paused, and started over on the next play.
    bool userStopped_ = false;
    // The newest seek position not yet handed to the player, or -1.
    int pendingSeek_ = -1;
    QTimer* seekGate_;
    bool failed_ = false;
    QString errorText_;
    // The backend reported an error; its player is replaced before it is
    // used again.
    bool playerFailed_ = false;
    int lastState_ = kPlayStateUndefined;
    NowPlayingInfo nowPlaying_;
};

} // namespace velmora
