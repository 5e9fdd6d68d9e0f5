#include "mpris_player.h"

#include "ocxwmp.h"
#include "velmora_player_view.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace velmora {

namespace {

constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// org.mpris.MediaPlayer2: the application as a whole.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisPlayer* owner) : QDBusAbstractAdaptor(owner), owner_(owner) {}

    bool CanQuit() const { return owner_->CanQuit(); }
    bool CanRaise() const { return owner_->CanRaise(); }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QString::fromLatin1(MprisPlayer::kIdentity); }
    QString DesktopEntry() const { return QString::fromLatin1(MprisPlayer::kDesktopEntry); }
    // Files are opened from the library or File > Open, not by address.
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Quit() { owner_->Quit(); }
    void Raise() { owner_->Raise(); }

private:
    MprisPlayer* owner_;
};

// org.mpris.MediaPlayer2.Player: playback. There is no going back in the
// queue and no seeking from outside (CanGoPrevious and CanSeek are false),
// where the interface has such calls do nothing, as it asks.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayerAdaptor(MprisPlayer* owner) : QDBusAbstractAdaptor(owner), owner_(owner) {}

    QString PlaybackStatus() const { return owner_->PlaybackStatus(); }
    QVariantMap Metadata() const { return owner_->Metadata(); }
    qlonglong Position() const { return owner_->Position(); }
    double Rate() const { return 1.0; }
    bool CanGoNext() const { return owner_->CanGoNext(); }
    bool CanGoPrevious() const { return false; }
    bool CanPlay() const { return owner_->CanPlay(); }
    bool CanPause() const { return owner_->CanPause(); }
    bool CanSeek() const { return false; }
    bool CanControl() const { return true; }

public slots:
    void Play() { owner_->Play(); }
    void Pause() { owner_->Pause(); }
    void PlayPause() { owner_->PlayPause(); }
    void Stop() { owner_->Stop(); }
    void Next() { owner_->Next(); }
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}

private:
    MprisPlayer* owner_;
};

// A session bus is there when its address is set or the user's runtime
// folder holds its socket; without either no connection is even tried.
bool SessionBusExpected() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

} // namespace

MprisPlayer* MprisPlayer::Publish(Cvelmora_playerView& view, QWidget* window) {
    if (!SessionBusExpected())
        return nullptr;
    return Publish(view, window, QDBusConnection::sessionBus());
}

MprisPlayer* MprisPlayer::Publish(Cvelmora_playerView& view, QWidget* window,
                                  QDBusConnection connection) {
    COcxwmp* player = view.Player();
    if (!player || !connection.isConnected())
        return nullptr;
    auto* mpris = new MprisPlayer(view, *player, window, connection);
    if (!mpris->Register()) {
        delete mpris;
        return nullptr;
    }
    return mpris;
}

MprisPlayer::MprisPlayer(Cvelmora_playerView& view, COcxwmp& player, QWidget* window,
                         QDBusConnection connection)
    : QObject(&view), view_(view), player_(player), window_(window), connection_(connection) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    FollowTrack();
    announced_ = ChangeableProperties();
    connect(&player_, &COcxwmp::playStateChanged, this, &MprisPlayer::AnnounceChanges);
    connect(&player_, &COcxwmp::nowPlayingChanged, this, &MprisPlayer::AnnounceChanges);
    connect(&view_, &Cvelmora_playerView::queueChanged, this, &MprisPlayer::AnnounceChanges);
}

MprisPlayer::~MprisPlayer() {
    if (!serviceName_.isEmpty())
        connection_.unregisterService(serviceName_);
    if (objectRegistered_)
        connection_.unregisterObject(QString::fromLatin1(kObjectPath));
}

bool MprisPlayer::Register() {
    objectRegistered_ = connection_.registerObject(QString::fromLatin1(kObjectPath), this,
                                                   QDBusConnection::ExportAdaptors);
    if (!objectRegistered_)
        return false;
    const QString plain = QString::fromLatin1(kServiceName);
    for (const QString& name :
         {plain, plain + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid())}) {
        if (connection_.registerService(name)) {
            serviceName_ = name;
            return true;
        }
    }
    return false;
}

void MprisPlayer::Quit() {
    if (window_)
        window_->close();
}

void MprisPlayer::Raise() {
    if (!window_)
        return;
    if (window_->isMinimized())
        window_->showNormal();
    else
        window_->show();
    window_->raise();
    window_->activateWindow();
}

QString MprisPlayer::PlaybackStatus() const {
    switch (player_.GetPlayState()) {
    case kPlayStatePlaying:
    case kPlayStateBuffering:
        return QStringLiteral("Playing");
    case kPlayStatePaused:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

void MprisPlayer::FollowTrack() {
    const QString url = player_.GetURL();
    if (url != trackUrl_) {
        trackUrl_ = url;
        ++trackNumber_;
    }
    const QImage& cover = player_.NowPlaying().cover;
    if (cover.isNull()) {
        coverKey_ = 0;
        coverUrl_.clear();
        return;
    }
    if (cover.cacheKey() == coverKey_ || !coverDir_.isValid())
        return;
    // A new name for each cover: shells keep what they read under a name.
    const QString path = coverDir_.filePath(QStringLiteral("cover-%1.png").arg(trackNumber_));
    coverKey_ = cover.cacheKey();
    coverUrl_ = cover.save(path, "PNG") ? QUrl::fromLocalFile(path).toString() : QString();
}

QVariantMap MprisPlayer::Metadata() const {
    QVariantMap metadata;
    if (player_.GetURL().isEmpty()) {
        metadata.insert(QStringLiteral("mpris:trackid"),
                        QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrack))));
        return metadata;
    }
    const NowPlayingInfo& info = player_.NowPlaying();
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(
                        QStringLiteral("/org/velmora/Player/Track/%1").arg(trackNumber_))));
    metadata.insert(QStringLiteral("xesam:title"), info.DisplayTitle());
    if (info.lengthMs > 0)
        metadata.insert(QStringLiteral("mpris:length"), qlonglong(info.lengthMs) * 1000);
    if (!info.artist.isEmpty())
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{info.artist});
    if (!info.album.isEmpty())
        metadata.insert(QStringLiteral("xesam:album"), info.album);
    if (!coverUrl_.isEmpty())
        metadata.insert(QStringLiteral("mpris:artUrl"), coverUrl_);
    return metadata;
}

qlonglong MprisPlayer::Position() const {
    return qlonglong(player_.Position()) * 1000;
}

bool MprisPlayer::CanGoNext() const {
    return view_.Queue().Size() > 0;
}

bool MprisPlayer::CanPlay() const {
    return !player_.GetURL().isEmpty() || view_.Queue().Size() > 0;
}

bool MprisPlayer::CanPause() const {
    return !player_.GetURL().isEmpty();
}

void MprisPlayer::Play() {
    // An idle player with files waiting takes the next one, as it would
    // at the queue's next poll; otherwise the loaded file starts or resumes.
    if (IsIdlePlayState(player_.GetPlayState()) && view_.Queue().Size() > 0)
        view_.Queue().Wake();
    else
        player_.controls().play();
}

void MprisPlayer::Pause() {
    player_.controls().pause();
}

void MprisPlayer::PlayPause() {
    if (PlaybackStatus() == QLatin1String("Playing"))
        Pause();
    else
        Play();
}

void MprisPlayer::Stop() {
    player_.controls().stop();
}

void MprisPlayer::Next() {
    if (!CanGoNext())
        return;
    // A stopped file counts as finished, so the queue hands over the next
    // entry; woken, it does so now rather than at its next poll.
    player_.controls().stop();
    view_.Queue().Wake();
}

QVariantMap MprisPlayer::ChangeableProperties() const {
    return {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
            {QStringLiteral("Metadata"), Metadata()},
            {QStringLiteral("CanGoNext"), CanGoNext()},
            {QStringLiteral("CanPlay"), CanPlay()},
            {QStringLiteral("CanPause"), CanPause()}};
}

void MprisPlayer::AnnounceChanges() {
    FollowTrack();
    const QVariantMap now = ChangeableProperties();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    announced_ = now;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    connection_.send(signal);
}

} // namespace velmora

#include "mpris_player.moc"
