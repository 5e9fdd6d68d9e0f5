#pragma once

// The player on the desktop's session bus under the media player names the
// desktop looks for (org.mpris.MediaPlayer2), so media keys, sound menus and
// lock screens show what plays and start, pause, stop and skip it.

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QWidget>

namespace velmora {

class COcxwmp;
class Cvelmora_playerView;

class MprisPlayer : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.velmora";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kIdentity = "Velmora Media Player";
    static constexpr const char* kDesktopEntry = "org.velmora.Player";

    // Publishes the view's player on the user's session bus; null, and
    // nothing published, when there is no session bus.
    static MprisPlayer* Publish(Cvelmora_playerView& view, QWidget* window);
    // The same on a given connection. The service name gains an
    // ".instance<pid>" suffix when another program holds the plain one.
    // Owned by the view; null when the connection is down, the view has no
    // media player or the names cannot be registered. window is what Raise
    // brings up and Quit closes; without one neither is offered.
    static MprisPlayer* Publish(Cvelmora_playerView& view, QWidget* window,
                                QDBusConnection connection);
    ~MprisPlayer() override;

    QString ServiceName() const { return serviceName_; }

    // org.mpris.MediaPlayer2
    bool CanQuit() const { return !window_.isNull(); }
    bool CanRaise() const { return !window_.isNull(); }
    void Quit();
    void Raise();

    // org.mpris.MediaPlayer2.Player
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    qlonglong Position() const;
    bool CanGoNext() const;
    bool CanPlay() const;
    bool CanPause() const;
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();

private:
    MprisPlayer(Cvelmora_playerView& view, COcxwmp& player, QWidget* window,
                QDBusConnection connection);
    bool Register();
    void FollowTrack();
    QVariantMap ChangeableProperties() const;
    void AnnounceChanges();

    Cvelmora_playerView& view_;
    COcxwmp& player_;
    QPointer<QWidget> window_;
    QDBusConnection connection_;
    QString serviceName_;
    bool objectRegistered_ = false;

    // Each file loaded counts as a new track.
    QString trackUrl_;
    int trackNumber_ = 0;
    // Desktop shells read cover art from a file: the current cover is written here.
    QTemporaryDir coverDir_;
    qint64 coverKey_ = 0;
    QString coverUrl_;
    // The values last announced, to tell only what changed.
    QVariantMap announced_;
};

} // namespace velmora
