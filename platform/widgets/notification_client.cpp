#include "notification_client.h"

#include "string_table.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace velmora {

namespace {

constexpr int kServerDecidesTimeout = -1;

// Calls the method and hands its reply to done once it comes, on this thread.
void CallAsync(QDBusConnection& connection, QObject* owner, const QDBusMessage& call,
               std::function<void(const QDBusMessage& reply)> done) {
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(call), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         done(finished->reply());
                         finished->deleteLater();
                     });
}

QDBusMessage MethodCall(const char* method) {
    return QDBusMessage::createMethodCall(NotificationClient::kService, NotificationClient::kPath,
                                          NotificationClient::kInterface, method);
}

} // namespace

NotificationClient::NotificationClient(QDBusConnection connection, QObject* parent)
    : QObject(parent), connection_(std::move(connection)) {}

void NotificationClient::Send(const DesktopNotice& notice) {
    if (!connection_.isConnected()) {
        emit Handled(false);
        return;
    }
    // A server that reads markup in the body would take "<" and "&" in a file
    // name or an error text for markup, so it is asked first.
    CallAsync(connection_, this, MethodCall("GetCapabilities"),
              [this, notice](const QDBusMessage& reply) {
                  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                      emit Handled(false);
                      return;
                  }
                  const QStringList capabilities = reply.arguments().front().toStringList();
                  SendNotify(notice, capabilities.contains(QStringLiteral("body-markup")));
              });
}

void NotificationClient::SendNotify(const DesktopNotice& notice, bool bodyMarkup) {
    QString body = QString::fromStdString(notice.body);
    if (bodyMarkup)
        body = body.toHtmlEscaped();
    const QString appId = QStringLiteral(VELMORA_APP_ID);
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), appId);
    QDBusMessage call = MethodCall("Notify");
    call << QString::fromStdString(LoadString(101)) << 0u << appId
         << QString::fromStdString(notice.summary) << body << QStringList() << hints
         << kServerDecidesTimeout;
    CallAsync(connection_, this, call, [this](const QDBusMessage& reply) {
        emit Handled(reply.type() == QDBusMessage::ReplyMessage);
    });
}

DesktopNotifications NotificationClient::Notifications() {
    return {[this](const DesktopNotice& notice) { Send(notice); },
            [] { return QApplication::activeWindow() != nullptr; }};
}

} // namespace velmora
