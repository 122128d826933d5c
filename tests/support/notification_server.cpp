// A desktop notification service for the tests. It owns
// org.freedesktop.Notifications on the session bus, writes every
// notification it is sent to RECORD as one JSON line (summary, body,
// actions), and then answers it as told:
//   leafstash_notification_server RECORD ANSWER CAPABILITIES
// ANSWER is "close" (the user closed it), "none" (it stays), or the key of
// the action to invoke. CAPABILITIES is a comma-separated list
// ("actions,body"). It prints "ready" once it owns the name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>

class TNotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  TNotificationService(QString Record, QString Answer, QStringList Capabilities)
      : record_(std::move(Record)), answer_(std::move(Answer)), capabilities_(std::move(Capabilities)) {}

 public slots:
  QStringList GetCapabilities() { return capabilities_; }

  uint Notify(const QString& AppName, uint, const QString& Icon, const QString& Summary,
              const QString& Body, const QStringList& Actions, const QVariantMap& Hints, int) {
    QJsonObject line{{"app", AppName},       {"icon", Icon},
                     {"summary", Summary},   {"body", Body},
                     {"actions", QJsonArray::fromStringList(Actions)},
                     {"desktopEntry", Hints.value("desktop-entry").toString()}};
    QFile file(record_);
    if (file.open(QIODevice::Append)) file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + "\n");
    const uint id = ++last_;
    // As a real service does: the answer comes after the reply.
    QTimer::singleShot(50, this, [this, id] {
      if (answer_ == "close") {
        emit NotificationClosed(id, 2);
      } else if (answer_ != "none") {
        emit ActionInvoked(id, answer_);
        emit NotificationClosed(id, 2);
      }
    });
    return id;
  }

  void CloseNotification(uint Id) { emit NotificationClosed(Id, 3); }

 signals:
  void NotificationClosed(uint Id, uint Reason);
  void ActionInvoked(uint Id, const QString& Key);

 private:
  QString record_, answer_;
  QStringList capabilities_;
  uint last_ = 0;
};

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 4) {
    std::fputs("usage: leafstash_notification_server RECORD ANSWER CAPABILITIES\n", stderr);
    return 2;
  }
  TNotificationService service(argv[1], argv[2], QString(argv[3]).split(',', Qt::SkipEmptyParts));
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject("/org/freedesktop/Notifications", &service,
                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) ||
      !bus.registerService("org.freedesktop.Notifications")) {
    std::fputs("notification server: cannot own the name\n", stderr);
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  return QCoreApplication::exec();
}

#include "notification_server.moc"
