#include "ocxwmp.h"

#include <QAudioOutput>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMediaMetaData>
#include <QPixmap>
#include <QResizeEvent>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

#include <algorithm>
#include <climits>

namespace velmora {

// Shows one picture scaled to fit, keeping its proportions.
class PictureLabel : public QLabel {
public:
    explicit PictureLabel(QWidget* parent) : QLabel(parent) {
        setAlignment(Qt::AlignCenter);
        setMinimumSize(1, 1);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::black);
        setPalette(p);
    }

    void setImage(const QImage& image) {
        image_ = image;
        rescale();
    }
    void clearImage() {
        image_ = QImage();
        clear();
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QLabel::resizeEvent(e);
        rescale();
    }

private:
    void rescale() {
        if (image_.isNull() || width() <= 0 || height() <= 0) {
            clear();
            return;
        }
        setPixmap(QPixmap::fromImage(
            image_.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }

    QImage image_;
};

namespace {

QString FormatTime(qint64 ms) {
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QChar('0'))
            .arg(s, 2, 10, QChar('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QChar('0'));
}

// A text with a scheme ("file:", "http:") is a URL; anything else, an
// absolute path above all, is a local file. One-letter schemes are drive
// letters, not schemes.
QUrl ToUrl(const QString& text) {
    if (!text.startsWith('/')) {
        QUrl url(text);
        if (url.isValid() && url.scheme().size() > 1)
            return url;
    }
    return QUrl::fromLocalFile(text);
}

QString StateText(int state) {
    switch (state) {
    case kPlayStateStopped:
        return COcxwmp::tr("Stopped");
    case kPlayStatePaused:
        return COcxwmp::tr("Paused");
    case kPlayStatePlaying:
        return COcxwmp::tr("Playing");
    case kPlayStateBuffering:
        return COcxwmp::tr("Buffering");
    case kPlayStateMediaEnded:
        return COcxwmp::tr("Media ended");
    case kPlayStateTransitioning:
        return COcxwmp::tr("Opening");
    case kPlayStateReady:
        return COcxwmp::tr("Ready");
    default:
        return QString();
    }
}

} // namespace

void COcxwmp::Controls::play() {
    owner_.play();
}
void COcxwmp::Controls::pause() {
    owner_.pause();
}
void COcxwmp::Controls::stop() {
    owner_.stop();
}

COcxwmp::COcxwmp(QWidget* parent) : QWidget(parent) {
    audio_ = new QAudioOutput(this);

    screen_ = new QStackedWidget(this);
    video_ = new QVideoWidget(screen_);
    picture_ = new PictureLabel(screen_);
    screen_->addWidget(video_);
    screen_->addWidget(picture_);
    nowPlayingPanel_ = new NowPlayingPanel(screen_);
    screen_->addWidget(nowPlayingPanel_);
    screen_->setMinimumSize(160, 90);

    seek_ = new QSlider(Qt::Horizontal, this);
    seek_->setEnabled(false);
    seek_->setToolTip(tr("Seek"));
    seek_->setAccessibleName(tr("Seek"));

    const QStyle* s = style();
    playPause_ = new QToolButton(this);
    playPause_->setIcon(s->standardIcon(QStyle::SP_MediaPlay));
    playPause_->setToolTip(tr("Play"));
    playPause_->setAccessibleName(tr("Play"));
    stop_ = new QToolButton(this);
    stop_->setIcon(s->standardIcon(QStyle::SP_MediaStop));
    stop_->setToolTip(tr("Stop"));
    stop_->setAccessibleName(tr("Stop"));
    elapsed_ = new QLabel(FormatTime(0), this);
    total_ = new QLabel(FormatTime(0), this);
    status_ = new QLabel(this);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mute_ = new QToolButton(this);
    mute_->setCheckable(true);
    mute_->setIcon(s->standardIcon(QStyle::SP_MediaVolume));
    mute_->setToolTip(tr("Mute"));
    mute_->setAccessibleName(tr("Mute"));
    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setRange(0, 100);
    volume_->setValue(qRound(audio_->volume() * 100));
    volume_->setMaximumWidth(100);
    volume_->setToolTip(tr("Volume"));
    volume_->setAccessibleName(tr("Volume"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(playPause_);
    buttons->addWidget(stop_);
    buttons->addWidget(elapsed_);
    buttons->addWidget(new QLabel(QStringLiteral("/"), this));
    buttons->addWidget(total_);
    buttons->addWidget(status_, 1);
    buttons->addWidget(mute_);
    buttons->addWidget(volume_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(screen_, 1);
    layout->addWidget(seek_);
    layout->addLayout(buttons);

    pictureTimer_ = new QTimer(this);
    pictureTimer_->setSingleShot(true);
    pictureTimer_->setTimerType(Qt::PreciseTimer);
    pictureTick_ = new QTimer(this);
    pictureTick_->setInterval(250);
    pictureClock_ = new QElapsedTimer;
    seekGate_ = new QTimer(this);
    seekGate_->setSingleShot(true);
    seekGate_->setInterval(250);
    connect(seekGate_, &QTimer::timeout, this, &COcxwmp::applySeek);

    createPlayer();
    connect(pictureTimer_, &QTimer::timeout, this, &COcxwmp::onPictureEnded);
    connect(pictureTick_, &QTimer::timeout, this, &COcxwmp::updateTimes);

    connect(playPause_, &QToolButton::clicked, this, [this] {
        const int state = GetPlayState();
        if (state == kPlayStatePlaying || state == kPlayStateBuffering ||
            (state == kPlayStateTransitioning && playRequested_))
            pause();
        else
            play();
    });
    connect(stop_, &QToolButton::clicked, this, &COcxwmp::stop);
    connect(seek_, &QSlider::sliderMoved, this, &COcxwmp::seekTo);
    connect(seek_, &QSlider::actionTriggered, this, [this](int action) {
        // A drag is followed through sliderMoved; clicks in the groove and
        // keys land here with the new position already set.
        if (action != QAbstractSlider::SliderMove)
            seekTo(seek_->sliderPosition());
    });
    connect(volume_, &QSlider::valueChanged, this,
            [this](int value) { audio_->setVolume(static_cast<float>(value) / 100.0f); });
    connect(mute_, &QToolButton::toggled, this, [this](bool muted) {
        audio_->setMuted(muted);
        mute_->setIcon(
            style()->standardIcon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
    });

    updateState();
}

COcxwmp::~COcxwmp() {
    // The player goes first: it still refers to the audio output and the
    // video widget, which are destroyed with the other children.
    dropPlayer();
    delete pictureClock_;
}

void COcxwmp::createPlayer() {
    player_ = new QMediaPlayer(this);
    player_->setAudioOutput(audio_);
    player_->setVideoOutput(video_);
    connect(player_, &QMediaPlayer::playbackStateChanged, this, &COcxwmp::updateState);
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, &COcxwmp::updateState);
    connect(player_, &QMediaPlayer::errorOccurred, this, &COcxwmp::onError);
    connect(player_, &QMediaPlayer::positionChanged, this, &COcxwmp::onPositionChanged);
    connect(player_, &QMediaPlayer::durationChanged, this, &COcxwmp::onDurationChanged);
    connect(player_, &QMediaPlayer::seekableChanged, this, &COcxwmp::updateTimes);
    connect(player_, &QMediaPlayer::metaDataChanged, this, &COcxwmp::updateNowPlaying);
    connect(player_, &QMediaPlayer::hasVideoChanged, this, &COcxwmp::updateNowPlaying);
    playerFailed_ = false;
}

void COcxwmp::replacePlayer() {
    dropPlayer();
    createPlayer();
}

void COcxwmp::dropPlayer() {
    // Its last signals must not reach a control that is changing players.
    disconnect(player_, nullptr, this, nullptr);
    // The backend tears its pipeline down in order only when told to let go
    // of the source; destroyed with a file still loaded that carries a
    // picture (an MP3 with cover art), it crashes. A failed or still loading
    // player is left alone: letting go would block for a second.
    const QMediaPlayer::MediaStatus status = player_->mediaStatus();
    if (!playerFailed_ && status != QMediaPlayer::LoadingMedia && status != QMediaPlayer::NoMedia)
        player_->setSource(QUrl());
    delete player_;
    player_ = nullptr;
    file_.reset();
}

void COcxwmp::loadMedia(const QString& url) {
    // The file the player read until now is closed once it has let go of it.
    const std::unique_ptr<QFile> previous = std::move(file_);
    const QUrl location = ToUrl(url);
    if (url.isEmpty() || !location.isLocalFile()) {
        player_->setSource(url.isEmpty() ? QUrl() : location);
        return;
    }
    // Local files go to the backend as an open device rather than by name.
    // Loading by name lets the backend start decoding on its own thread while
    // the call is still seeking on this one, and the two can deadlock when
    // the decoder attaches its output at that moment. Fed from a device, the
    // decoder gets its first bytes from this thread's event loop, so nothing
    // is decoded before the load has returned.
    auto file = std::make_unique<QFile>(location.toLocalFile());
    if (!file->open(QIODevice::ReadOnly)) {
        player_->setSource(QUrl());
        failed_ = true;
        errorText_ = file->errorString();
        return;
    }
    player_->setSourceDevice(file.get(), location);
    file_ = std::move(file);
}

bool COcxwmp::IsPicturePath(const QString& url) {
    const QString lower = url.toLower();
    return lower.endsWith(QLatin1String(".jpg")) || lower.endsWith(QLatin1String(".jpeg"));
}

void COcxwmp::SetURL(const QString& url) {
    // A backend left paused (stop is a pause) takes the next file fed from a
    // device as already at its end, an MP3 at least; a fresh one plays it.
    if (playerFailed_ || player_->playbackState() != QMediaPlayer::StoppedState)
        replacePlayer();
    pictureTimer_->stop();
    pictureTick_->stop();
    failed_ = false;
    errorText_.clear();
    playRequested_ = false;
    userStopped_ = false;
    pendingSeek_ = -1;
    seekGate_->stop();
    url_ = url;
    isPicture_ = !url.isEmpty() && IsPicturePath(url);
    pictureShownMs_ = 0;

    if (isPicture_) {
        loadMedia(QString());
        screen_->setCurrentWidget(picture_);
        const QUrl location = ToUrl(url);
        QImageReader reader(location.isLocalFile() ? location.toLocalFile() : QString());
        reader.setAutoTransform(true);
        const QImage image = reader.read();
        if (image.isNull()) {
            failed_ = true;
            errorText_ = location.isLocalFile() ? reader.errorString()
                                                : tr("Pictures are shown from local files only");
            picture_->clearImage();
        } else {
            picture_->setImage(image);
        }
        pictureState_ = kPlayStateReady;
    } else {
        picture_->clearImage();
        screen_->setCurrentWidget(video_);
        pictureState_ = kPlayStateUndefined;
        loadMedia(url);
    }
    updateNowPlaying();
    updateTimes();
    updateState();
}

int COcxwmp::GetPlayState() const {
    if (url_.isEmpty())
        return kPlayStateUndefined;
    // A file that cannot be opened or played leaves the player ready for the
    // next one; the backend itself stays in its playing state after an error.
    if (failed_)
        return kPlayStateReady;
    if (isPicture_)
        return pictureState_;

    const QMediaPlayer::MediaStatus status = player_->mediaStatus();
    switch (player_->playbackState()) {
    case QMediaPlayer::PlayingState:
        switch (status) {
        case QMediaPlayer::BufferedMedia:
            return kPlayStatePlaying;
        case QMediaPlayer::BufferingMedia:
        case QMediaPlayer::StalledMedia:
            return kPlayStateBuffering;
        case QMediaPlayer::EndOfMedia:
            return kPlayStateMediaEnded;
        case QMediaPlayer::InvalidMedia:
            return kPlayStateReady;
        default:
            return kPlayStateTransitioning;
        }
    case QMediaPlayer::PausedState:
        if (userStopped_)
            return kPlayStateStopped;
        return status == QMediaPlayer::LoadingMedia ? kPlayStateTransitioning : kPlayStatePaused;
    case QMediaPlayer::StoppedState:
        break;
    }
    switch (status) {
    case QMediaPlayer::EndOfMedia:
        return kPlayStateMediaEnded;
    case QMediaPlayer::LoadingMedia:
        return kPlayStateTransitioning;
    case QMediaPlayer::InvalidMedia:
    case QMediaPlayer::NoMedia:
        return kPlayStateReady;
    default:
        return playRequested_ ? kPlayStateStopped : kPlayStateReady;
    }
}

void COcxwmp::play() {
    if (url_.isEmpty())
        return;
    if (failed_) {
        // Try the file again from the start; it may have become readable.
        SetURL(url_);
        if (failed_)
            return;
    }
    playRequested_ = true;
    if (isPicture_) {
        if (pictureState_ != kPlayStatePlaying)
            startPicture();
    } else {
        if (userStopped_) {
            userStopped_ = false;
            player_->setPosition(0);
        }
        player_->play();
    }
    updateState();
}

void COcxwmp::startPicture() {
    if (pictureState_ != kPlayStatePaused)
        pictureShownMs_ = 0;
    const qint64 remaining = std::max<qint64>(0, pictureDuration_.count() - pictureShownMs_);
    pictureClock_->start();
    pictureTimer_->start(static_cast<int>(std::min<qint64>(remaining, INT_MAX)));
    pictureTick_->start();
    pictureState_ = kPlayStatePlaying;
    updateTimes();
}

qint64 COcxwmp::pictureElapsedMs() const {
    qint64 ms = pictureShownMs_;
    if (pictureState_ == kPlayStatePlaying && pictureClock_->isValid())
        ms += pictureClock_->elapsed();
    return std::min<qint64>(ms, pictureDuration_.count());
}

void COcxwmp::pause() {
    if (isPicture_) {
        if (pictureState_ != kPlayStatePlaying || failed_)
            return;
        pictureShownMs_ = pictureElapsedMs();
        pictureTimer_->stop();
        pictureTick_->stop();
        pictureState_ = kPlayStatePaused;
        updateTimes();
    } else if (!userStopped_ && player_->playbackState() == QMediaPlayer::PlayingState) {
        player_->pause();
    }
    updateState();
}

void COcxwmp::stop() {
    if (isPicture_) {
        pictureTimer_->stop();
        pictureTick_->stop();
        pictureShownMs_ = 0;
        if (pictureState_ == kPlayStatePlaying || pictureState_ == kPlayStatePaused)
            pictureState_ = kPlayStateStopped;
        updateTimes();
    } else if (player_->playbackState() != QMediaPlayer::StoppedState) {
        // A pause that starts over on the next play. The backend's own stop
        // waits for the pipeline to settle, and with the file fed from this
        // thread (see loadMedia) that wait can last a second.
        player_->pause();
        userStopped_ = true;
        updateTimes();
    }
    updateState();
}

void COcxwmp::onPictureEnded() {
    pictureTick_->stop();
    pictureShownMs_ = pictureDuration_.count();
    pictureState_ = kPlayStateMediaEnded;
    updateTimes();
    updateState();
}

void COcxwmp::onError(QMediaPlayer::Error error, const QString& text) {
    if (error == QMediaPlayer::NoError)
        return;
    // One failure tends to come with follow-up errors; the first says why.
    if (!failed_)
        errorText_ = text.isEmpty() ? tr("The file cannot be played") : text;
    failed_ = true;
    // The backend stays in its playing state after an error, and stopping
    // or loading anew in that state blocks the user-interface thread for a
    // second. A failed player is therefore replaced by a fresh one, which
    // costs nothing; not inside the backend's own signal, though.
    playerFailed_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!playerFailed_)
                return;
            replacePlayer();
            updateTimes();
            updateState();
        },
        Qt::QueuedConnection);
    updateState();
}

void COcxwmp::onPositionChanged(qint64 position) {
    if (isPicture_ || userStopped_)
        return;
    if (!seek_->isSliderDown())
        seek_->setValue(static_cast<int>(std::min<qint64>(position, INT_MAX)));
    elapsed_->setText(FormatTime(position));
}

void COcxwmp::onDurationChanged(qint64) {
    updateTimes();
    updateNowPlaying();
}

void COcxwmp::seekTo(int position) {
    if (isPicture_ || userStopped_ || !player_->isSeekable())
        return;
    pendingSeek_ = position;
    if (!seekGate_->isActive())
        applySeek();
}

void COcxwmp::applySeek() {
    if (pendingSeek_ < 0)
        return;
    // Seeks are spaced out: a seek while the last one is still settling
    // waits for data that this thread has to deliver (see loadMedia), so
    // the event loop must run in between. The latest position wins.
    player_->setPosition(pendingSeek_);
    pendingSeek_ = -1;
    seekGate_->start();
}

void COcxwmp::updateTimes() {
    qint64 duration = 0, position = 0;
    bool seekable = false;
    if (isPicture_) {
        if (!failed_)
            duration = pictureDuration_.count();
        position = pictureElapsedMs();
    } else if (!url_.isEmpty()) {
        duration = player_->duration();
        position = userStopped_ ? 0 : player_->position();
        seekable = player_->isSeekable() && duration > 0 && !userStopped_;
    }
    seek_->setRange(0, static_cast<int>(std::min<qint64>(duration, INT_MAX)));
    if (!seek_->isSliderDown())
        seek_->setValue(static_cast<int>(std::min<qint64>(position, INT_MAX)));
    seek_->setEnabled(seekable);
    elapsed_->setText(FormatTime(position));
    total_->setText(FormatTime(duration));
}

qint64 COcxwmp::Position() const {
    if (isPicture_)
        return pictureElapsedMs();
    return url_.isEmpty() || userStopped_ ? 0 : player_->position();
}

void COcxwmp::updateNowPlaying() {
    const QString name = url_.isEmpty() ? QString() : ToUrl(url_).fileName();
    if (isPicture_ || url_.isEmpty()) {
        nowPlaying_ = NowPlayingInfo();
        nowPlaying_.name = name;
        nowPlaying_.lengthMs = isPicture_ && !failed_ ? pictureDuration_.count() : 0;
    } else {
        nowPlaying_ = NowPlayingInfo::FromMetaData(name, player_->metaData());
        nowPlaying_.lengthMs = player_->duration();
        // Sound alone shows what is playing rather than an empty video area.
        screen_->setCurrentWidget(player_->hasVideo() ? static_cast<QWidget*>(video_)
                                                      : nowPlayingPanel_);
    }
    nowPlayingPanel_->Show(nowPlaying_);
    emit nowPlayingChanged();
}

void COcxwmp::updateState() {
    const int state = GetPlayState();
    const bool running = state == kPlayStatePlaying || state == kPlayStateBuffering ||
                         (state == kPlayStateTransitioning && playRequested_);
    playPause_->setIcon(
        style()->standardIcon(running ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    playPause_->setToolTip(running ? tr("Pause") : tr("Play"));
    playPause_->setAccessibleName(playPause_->toolTip());
    playPause_->setEnabled(!url_.isEmpty());
    stop_->setEnabled(running || state == kPlayStatePaused);
    status_->setText(failed_ ? errorText_ : StateText(state));
    if (state == lastState_)
        return;
    lastState_ = state;
    if (state == kPlayStateMediaEnded || state == kPlayStateStopped)
        updateTimes();
    emit playStateChanged(state);
}

} // namespace velmora
