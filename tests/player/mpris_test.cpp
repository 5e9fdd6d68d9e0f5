// The player as a media player on a private session bus, walked by a client
// on a connection of its own while the real control plays real files.
#include "event_pump.h"
#include "mpris_player.h"
#include "ocxwmp.h"
#include "tagged_media.h"
#include "tone_files.h"
#include "velmora_player_view.h"
#include "window_messages.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";

// Maps arrive still marshalled.
QVariant Unwrap(const QVariant& value) {
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value;
}

// Every change announced on the bus as "property=value", a track by its title.
class ChangeLog : public QObject {
    Q_OBJECT
public slots:
    void changed(const QString&, const QVariantMap& properties, const QStringList&) {
        for (auto it = properties.begin(); it != properties.end(); ++it) {
            const QVariant value = Unwrap(it.value());
            seen << it.key() + "=" + value.toMap().value("xesam:title", value).toString();
        }
    }

public:
    QStringList seen;
};

// Starts dbus-daemon on a throwaway session bus; gives its address.
QString StartBus(QProcess& daemon) {
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    daemon.waitForReadyRead(10000);
    return QString::fromUtf8(daemon.readLine()).trimmed();
}

class MprisTest : public ::testing::Test {
protected:
    ~MprisTest() override {
        for (const char* name : {"player", "client", "other"})
            QDBusConnection::disconnectFromBus(name);
        daemon.kill();
        daemon.waitForFinished();
    }
    QVariant Call(const QString& interface, const QString& method, QVariantList arguments = {}) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(service, MprisPlayer::kObjectPath, interface, method);
        message.setArguments(arguments);
        // Asynchronously: the player answers on this very thread.
        QDBusPendingCall pending = client.asyncCall(message);
        test::PumpUntil([&] { return pending.isFinished(); });
        EXPECT_FALSE(pending.isError()) << pending.error().message().toStdString();
        const QVariant first = pending.reply().arguments().value(0);
        return Unwrap(first.canConvert<QDBusVariant>() ? first.value<QDBusVariant>().variant()
                                                       : first);
    }
    QVariant Get(const QString& property, const QString& interface = kPlayer) {
        return Call("org.freedesktop.DBus.Properties", "Get", {interface, property});
    }
    QVariant Track(const QString& key) { return Get("Metadata").toMap().value(key); }
    bool Await(const QString& status, const QString& title = {}) {
        return test::PumpUntil([&] {
            return Get("PlaybackStatus") == status &&
                   (title.isEmpty() || Track("xesam:title") == title);
        });
    }
    void Queue(const QString& path) {
        const std::string local = path.toStdString(), tail = "0~0";
        SendMessage(&view, UM_MEDIA_FILE, reinterpret_cast<WPARAM>(tail.c_str()), textParam(local));
    }

    QProcess daemon;
    const QString address = StartBus(daemon);
    QString service;
    QDBusConnection client = QDBusConnection::connectToBus(address, "client");
    // Polling so seldom that only the calls under test move the queue on.
    Cvelmora_playerView view{std::make_unique<COcxwmp>(), nullptr, 60s};
};

TEST_F(MprisTest, ClientWalksTheInterfaceWhileRealFilesPlay) {
    ASSERT_TRUE(client.isConnected()) << "no private bus";
    EXPECT_EQ(MprisPlayer::Publish(view, nullptr, QDBusConnection("none")), nullptr);
    QWidget window;
    MprisPlayer* mpris =
        MprisPlayer::Publish(view, &window, QDBusConnection::connectToBus(address, "player"));
    ASSERT_TRUE(mpris);
    service = mpris->ServiceName();
    EXPECT_EQ(service, "org.mpris.MediaPlayer2.velmora");
    {
        Cvelmora_playerView second(std::make_unique<COcxwmp>());
        auto* again =
            MprisPlayer::Publish(second, nullptr, QDBusConnection::connectToBus(address, "other"));
        ASSERT_TRUE(again);
        EXPECT_EQ(again->ServiceName(),
                  service + ".instance" + QString::number(QCoreApplication::applicationPid()));
    }
    ChangeLog log;
    ASSERT_TRUE(client.connect(service, MprisPlayer::kObjectPath, "org.freedesktop.DBus.Properties",
                               "PropertiesChanged", &log,
                               SLOT(changed(QString, QVariantMap, QStringList))));

    const QString root = "org.mpris.MediaPlayer2";
    EXPECT_EQ(Get("Identity", root), "Velmora Media Player");
    EXPECT_EQ(Get("DesktopEntry", root), "org.velmora.Player");
    Call(root, "Raise");
    EXPECT_TRUE(window.isVisible());
    Call(root, "Quit");
    EXPECT_FALSE(window.isVisible());

    EXPECT_EQ(Get("CanPlay"), false);
    EXPECT_EQ(Track("mpris:trackid").value<QDBusObjectPath>().path(),
              "/org/mpris/MediaPlayer2/TrackList/NoTrack");

    QTemporaryDir dir;
    const QString one = dir.filePath("one.au"), two = dir.filePath("two.aiff"),
                  three = dir.filePath("three.mp3");
    ASSERT_TRUE(test::WriteAuTone(one.toStdString(), 4.0));
    ASSERT_TRUE(test::WriteAiffTone(two.toStdString(), 4.0));
    ASSERT_TRUE(test::MakeMp3(three, 4.0, {"Third", "The Sines", "Pure Waves"}, true));
    view.OnInitialUpdate();
    for (const QString& path : {one, two, three})
        Queue(path);

    ASSERT_TRUE(Await("Playing", "one.au"));
    EXPECT_NEAR(Track("mpris:length").toLongLong(), 4'000'000, 100'000);
    EXPECT_EQ(view.NowPlayingTitle(), "one.au") << "the window's title says the same";
    EXPECT_EQ(Get("CanGoNext"), true);
    const QVariant firstTrack = Track("mpris:trackid");
    for (const auto& [method, status] : {std::pair{"Pause", "Paused"},
                                         {"Play", "Playing"},
                                         {"PlayPause", "Paused"},
                                         {"PlayPause", "Playing"}}) {
        Call(kPlayer, method);
        EXPECT_TRUE(Await(status)) << method;
    }
    Call(kPlayer, "Next");
    ASSERT_TRUE(Await("Playing", "two.aiff"));
    EXPECT_NE(Track("mpris:trackid"), firstTrack);

    // A stopped file counts as ended; Play goes on with the next one.
    Call(kPlayer, "Stop");
    ASSERT_TRUE(Await("Stopped"));
    Call(kPlayer, "Play");
    ASSERT_TRUE(Await("Playing", "Third"));
    EXPECT_EQ(view.NowPlayingTitle(), "Third");
    EXPECT_EQ(Track("xesam:artist").toStringList(), QStringList{"The Sines"});
    EXPECT_EQ(Track("xesam:album"), "Pure Waves");
    EXPECT_EQ(QImage(QUrl(Track("mpris:artUrl").toString()).toLocalFile()).size(), QSize(64, 48));
    EXPECT_EQ(Get("CanGoNext"), false);

    for (const char* change :
         {"PlaybackStatus=Playing", "PlaybackStatus=Paused", "PlaybackStatus=Stopped",
          "Metadata=one.au", "Metadata=two.aiff", "Metadata=Third", "CanGoNext=false"})
        EXPECT_TRUE(log.seen.contains(change)) << change;
}

} // namespace

#include "mpris_test.moc"
