// The player as a media player on a private session bus, walked by a client
// on a connection of its own, through the real control playing real files.
#include "event_pump.h"
#include "mpris_player.h"
#include "ocxwmp.h"
#include "tagged_media.h"
#include "tone_files.h"
#include "velmora_player_view.h"
#include "window_messages.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <chrono>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

constexpr const char* kRoot = "org.mpris.MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";

// A variant as it comes over the bus: maps arrive still marshalled.
QVariant Unwrap(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentType() == QDBusArgument::MapType)
            return qdbus_cast<QVariantMap>(argument);
    }
    return value;
}

// Every PropertiesChanged of the player interface, as heard on the bus.
class ChangeLog : public QObject {
    Q_OBJECT
public:
    bool Saw(const QString& property, const QVariant& value) const {
        for (const QVariantMap& change : changes)
            if (change.contains(property) && change.value(property) == value)
                return true;
        return false;
    }
    bool SawTitle(const QString& title) const {
        for (const QVariantMap& change : changes)
            if (change.value("Metadata").toMap().value("xesam:title") == title)
                return true;
        return false;
    }
    std::vector<QVariantMap> changes;

public slots:
    void changed(const QString& interface, const QVariantMap& properties, const QStringList&) {
        if (interface != kPlayer)
            return;
        QVariantMap plain;
        for (auto it = properties.begin(); it != properties.end(); ++it)
            plain.insert(it.key(), Unwrap(it.value()));
        changes.push_back(plain);
    }
};

// dbus-daemon on a throwaway session bus of the test's own.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (daemon_.waitForStarted() && daemon_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QDBusConnection Connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

class MprisTest : public ::testing::Test {
protected:
    QDBusMessage Call(const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(service, MprisPlayer::kObjectPath, interface, method);
        message.setArguments(arguments);
        // Asynchronously: the service answers from this very thread.
        QDBusPendingCall pending = client.asyncCall(message);
        test::PumpUntil([&] { return pending.isFinished(); });
        return pending.reply();
    }
    QVariant Get(const QString& interface, const QString& property) {
        const QDBusMessage reply =
            Call("org.freedesktop.DBus.Properties", "Get", {interface, property});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return Unwrap(reply.arguments().value(0).value<QDBusVariant>().variant());
    }
    QVariantMap Metadata() { return Get(kPlayer, "Metadata").toMap(); }
    QString Status() { return Get(kPlayer, "PlaybackStatus").toString(); }
    bool AwaitStatus(const QString& status) {
        return test::PumpUntil([&] { return Status() == status; }, 5s);
    }
    bool AwaitTitle(const QString& title) {
        return test::PumpUntil(
            [&] { return Metadata().value("xesam:title") == title && Status() == "Playing"; }, 5s);
    }
    void Queue(const QString& path) {
        const std::string local = path.toStdString(), tail = "0~0";
        SendMessage(&view, UM_MEDIA_FILE, reinterpret_cast<WPARAM>(tail.c_str()), textParam(local));
    }

    PrivateBus bus;
    QDBusConnection server = bus.Connect("velmora-test-player");
    QDBusConnection client = bus.Connect("velmora-test-client");
    QString service;
    QTemporaryDir dir;
    // Polling so slowly that only the calls under test move the queue on.
    Cvelmora_playerView view{std::make_unique<COcxwmp>(), nullptr, 60s};
};

TEST_F(MprisTest, ClientWalksTheInterfaceWhileRealFilesPlay) {
    ASSERT_TRUE(server.isConnected() && client.isConnected()) << "dbus-daemon did not start";
    EXPECT_EQ(MprisPlayer::Publish(view, nullptr,
                                   QDBusConnection::connectToBus("unix:path=/nonexistent", "none")),
              nullptr)
        << "no bus, nothing published";
    QDBusConnection::disconnectFromBus("none");

    QWidget window;
    MprisPlayer* mpris = MprisPlayer::Publish(view, &window, server);
    ASSERT_NE(mpris, nullptr);
    service = mpris->ServiceName();
    EXPECT_EQ(service, "org.mpris.MediaPlayer2.velmora");
    {
        // A second player on the same bus takes a name of its own.
        QDBusConnection other = bus.Connect("velmora-test-other");
        Cvelmora_playerView second(std::make_unique<COcxwmp>());
        MprisPlayer* again = MprisPlayer::Publish(second, nullptr, other);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->ServiceName(),
                  service + ".instance" + QString::number(QCoreApplication::applicationPid()));
    }
    ChangeLog log;
    ASSERT_TRUE(client.connect(service, MprisPlayer::kObjectPath, "org.freedesktop.DBus.Properties",
                               "PropertiesChanged", &log,
                               SLOT(changed(QString, QVariantMap, QStringList))));

    // The application.
    EXPECT_EQ(Get(kRoot, "Identity"), "Velmora Media Player");
    EXPECT_EQ(Get(kRoot, "DesktopEntry"), "org.velmora.Player");
    EXPECT_EQ(Get(kRoot, "CanRaise"), true);
    EXPECT_EQ(Get(kRoot, "CanQuit"), true);
    Call(kRoot, "Raise");
    EXPECT_TRUE(window.isVisible());
    Call(kRoot, "Quit");
    EXPECT_FALSE(window.isVisible());

    // Nothing loaded, nothing queued.
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_EQ(Get(kPlayer, "CanPlay"), false);
    EXPECT_EQ(Get(kPlayer, "CanGoNext"), false);
    EXPECT_EQ(Get(kPlayer, "CanControl"), true);
    EXPECT_EQ(Metadata().value("mpris:trackid").value<QDBusObjectPath>().path(),
              "/org/mpris/MediaPlayer2/TrackList/NoTrack");

    const QString one = dir.filePath("one.au"), two = dir.filePath("two.aiff"),
                  three = dir.filePath("three.mp3");
    ASSERT_TRUE(test::WriteAuTone(one.toStdString(), 4.0));
    ASSERT_TRUE(test::WriteAiffTone(two.toStdString(), 4.0));
    ASSERT_TRUE(test::MakeMp3(three, 4.0, {"Third", "The Sines", "Pure Waves", true}));
    view.OnInitialUpdate();
    Queue(one);
    Queue(two);
    Queue(three);

    ASSERT_TRUE(AwaitTitle("one.au"));
    QVariantMap metadata = Metadata();
    EXPECT_NEAR(metadata.value("mpris:length").toLongLong(), 4'000'000, 100'000);
    EXPECT_EQ(view.NowPlayingTitle(), "one.au") << "the window's title says the same";
    EXPECT_EQ(Get(kPlayer, "CanGoNext"), true);
    EXPECT_EQ(Get(kPlayer, "CanPause"), true);
    const QString firstTrack = metadata.value("mpris:trackid").value<QDBusObjectPath>().path();

    Call(kPlayer, "Pause");
    ASSERT_TRUE(AwaitStatus("Paused"));
    Call(kPlayer, "Play");
    ASSERT_TRUE(AwaitStatus("Playing"));
    Call(kPlayer, "PlayPause");
    ASSERT_TRUE(AwaitStatus("Paused"));
    Call(kPlayer, "PlayPause");
    ASSERT_TRUE(AwaitStatus("Playing"));

    Call(kPlayer, "Next");
    ASSERT_TRUE(AwaitTitle("two.aiff"));
    EXPECT_NE(Metadata().value("mpris:trackid").value<QDBusObjectPath>().path(), firstTrack);

    // Stopped, the file counts as ended; Play goes on with the next one.
    Call(kPlayer, "Stop");
    ASSERT_TRUE(AwaitStatus("Stopped"));
    Call(kPlayer, "Play");
    ASSERT_TRUE(AwaitTitle("Third"));
    EXPECT_EQ(Get(kPlayer, "CanGoNext"), false);
    metadata = Metadata();
    EXPECT_EQ(metadata.value("xesam:artist").toStringList(), QStringList{"The Sines"});
    EXPECT_EQ(metadata.value("xesam:album"), "Pure Waves");
    const QImage cover(QUrl(metadata.value("mpris:artUrl").toString()).toLocalFile());
    EXPECT_EQ(cover.size(), QSize(64, 48));
    EXPECT_EQ(view.NowPlayingTitle(), "Third");
    Call(kPlayer, "Next");
    test::PumpFor(200ms);
    EXPECT_EQ(Metadata().value("xesam:title"), "Third") << "nothing queued to go on to";

    ASSERT_TRUE(test::PumpUntil([&] { return log.Saw("CanGoNext", false); }, 2s));
    for (const char* status : {"Playing", "Paused", "Stopped"})
        EXPECT_TRUE(log.Saw("PlaybackStatus", status)) << status;
    for (const char* title : {"one.au", "two.aiff", "Third"})
        EXPECT_TRUE(log.SawTitle(title)) << title;
}

} // namespace

#include "mpris_test.moc"
