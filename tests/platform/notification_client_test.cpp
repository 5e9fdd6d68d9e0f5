// The program's notices on a private session bus (ctest runs this under
// dbus-run-session), received by a notification server of the test's own
// that owns the well-known name on a second connection: a real peer.

#include "event_pump.h"
#include "notification_client.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace velmora::test {

class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice {
        QString appName;
        uint replacesId;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout;
    };

    QStringList capabilities;
    std::vector<Notice> received;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout) {
        received.push_back(
            {appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
        return static_cast<uint>(received.size());
    }
};

namespace {

class NotificationClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
            << "no session bus: run under dbus-run-session";
    }
    void TearDown() override {
        if (serving_) {
            server_.unregisterService(NotificationClient::kService);
            server_.unregisterObject(NotificationClient::kPath);
        }
        QDBusConnection::disconnectFromBus(server_.name());
    }

    void Serve() {
        ASSERT_TRUE(server_.registerObject(NotificationClient::kPath, &notifications_,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server_.registerService(NotificationClient::kService));
        serving_ = true;
    }

    // Sends the notice and waits for the client's outcome.
    std::optional<bool> Send(NotificationClient& client, const DesktopNotice& notice) {
        std::optional<bool> shown;
        QObject::connect(&client, &NotificationClient::Handled, &client,
                         [&](bool result) { shown = result; });
        client.Send(notice);
        PumpUntil([&] { return shown.has_value(); });
        return shown;
    }

    QDBusConnection server_ =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notification-server");
    NotificationServer notifications_;
    bool serving_ = false;
};

TEST_F(NotificationClientTest, TheServerReceivesTheNotice) {
    const struct {
        const char* name;
        QStringList capabilities;
        QString body;
    } cases[] = {
        // Taken as plain text: the body goes as it is.
        {"plain", {"body"}, "/music/<b>rock & roll</b>"},
        // Read as markup: the body's own "<" and "&" must stay text.
        {"markup", {"body", "body-markup"}, "/music/&lt;b&gt;rock &amp; roll&lt;/b&gt;"},
    };
    Serve();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        notifications_.capabilities = c.capabilities;
        notifications_.received.clear();
        NotificationClient client;
        EXPECT_EQ(Send(client, {"Saved <b>rock & roll</b>.mp3", "/music/<b>rock & roll</b>"}),
                  true);
        ASSERT_EQ(notifications_.received.size(), 1u);
        const NotificationServer::Notice& notice = notifications_.received.front();
        EXPECT_EQ(notice.appName, "Velmora Media Player");
        EXPECT_EQ(notice.replacesId, 0u);
        EXPECT_EQ(notice.appIcon, VELMORA_APP_ID);
        EXPECT_EQ(notice.summary, "Saved <b>rock & roll</b>.mp3");
        EXPECT_EQ(notice.body, c.body);
        EXPECT_TRUE(notice.actions.isEmpty());
        EXPECT_EQ(notice.hints.value("desktop-entry").toString(), VELMORA_APP_ID);
        EXPECT_EQ(notice.expireTimeout, -1);
    }
}

TEST_F(NotificationClientTest, WithoutAServerOrABusTheNoticeIsDroppedQuietly) {
    ASSERT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(
        NotificationClient::kService));
    NotificationClient onTheBus;
    EXPECT_EQ(Send(onTheBus, {"Saved a.mp3", "/music"}), false);
    NotificationClient offTheBus(QDBusConnection("never connected"));
    EXPECT_EQ(Send(offTheBus, {"Saved a.mp3", "/music"}), false);
}

TEST_F(NotificationClientTest, TheProgramIsActiveWhileOneOfItsWindowsIs) {
    NotificationClient client;
    const DesktopNotifications notifications = client.Notifications();
    EXPECT_FALSE(notifications.programActive());
    QWidget window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(notifications.programActive());
}

} // namespace
} // namespace velmora::test

#include "notification_client_test.moc"
