#include "platform/notifications/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace leafstash {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
// A service that does not answer in this time is taken as none.
constexpr int kCallTimeoutMs = 5000;

QDBusMessage Call(const char* Method) {
  return QDBusMessage::createMethodCall(kService, kPath, kInterface, Method);
}

}  // namespace

TDesktopNotification::TDesktopNotification(QObject* Parent) : QObject(Parent) {
  wait_.setSingleShot(true);
  connect(&wait_, &QTimer::timeout, this, [this] {
    QDBusMessage close = Call("CloseNotification");
    close << id_;
    QDBusConnection::sessionBus().asyncCall(close, kCallTimeoutMs);
    End();
  });
}

void TDesktopNotification::Send(const TContent& Content, int WaitMs) {
  content_ = Content;
  wait_.setInterval(WaitMs);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    End();
    return;
  }
  auto* watcher =
      new QDBusPendingCallWatcher(bus.asyncCall(Call("GetCapabilities"), kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* Call) {
    Call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *Call;
    if (reply.isError())
      End();
    else
      Notify(reply.value());
  });
}

void TDesktopNotification::Notify(const QStringList& Capabilities) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  QStringList actions;
  if (Capabilities.contains("actions")) {
    for (const TAction& action : content_.Actions) actions << action.Key << action.Label;
    bus.connect(kService, kPath, kInterface, "ActionInvoked", this,
                SLOT(OnActionInvoked(uint, QString)));
  }
  bus.connect(kService, kPath, kInterface, "NotificationClosed", this, SLOT(OnClosed(uint, uint)));
  // A service that reads markup would take a "<" in a title for a tag.
  const QString body = Capabilities.contains("body-markup") ? content_.Body.toHtmlEscaped()
                                                             : content_.Body;
  QVariantMap hints;
  hints.insert("desktop-entry", "leafstash");
  hints.insert("urgency", QVariant::fromValue<uchar>(1));
  QDBusMessage message = Call("Notify");
  message << content_.AppName << uint(0) << content_.Icon << content_.Summary << body << actions
          << hints << int(-1);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, waitForAnswer = !actions.isEmpty()](QDBusPendingCallWatcher* Call) {
            Call->deleteLater();
            const QDBusPendingReply<uint> reply = *Call;
            if (reply.isError() || !waitForAnswer) {
              End();
              return;
            }
            id_ = reply.value();
            wait_.start();
          });
}

void TDesktopNotification::OnActionInvoked(uint Id, const QString& Key) {
  if (ended_ || Id != id_ || id_ == 0) return;
  emit ActionInvoked(Key);
  End();
}

void TDesktopNotification::OnClosed(uint Id, uint) {
  if (Id == id_ && id_ != 0) End();
}

void TDesktopNotification::End() {
  if (ended_) return;
  ended_ = true;
  wait_.stop();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    bus.disconnect(kService, kPath, kInterface, "ActionInvoked", this,
                   SLOT(OnActionInvoked(uint, QString)));
    bus.disconnect(kService, kPath, kInterface, "NotificationClosed", this,
                   SLOT(OnClosed(uint, uint)));
  }
  emit Ended();
}

}  // namespace leafstash
