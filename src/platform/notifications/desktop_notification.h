// One desktop notification, sent to the freedesktop notification service
// (org.freedesktop.Notifications) on the session bus, with actions the
// user can choose. The calls are asynchronous: only the first connection
// to the bus is made while the caller waits. Without a session bus or a
// notification service nothing is shown, and Ended follows.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

namespace leafstash {

class TDesktopNotification : public QObject {
  Q_OBJECT
 public:
  struct TAction {
    QString Key;  // "default" is the notification itself being clicked
    QString Label;
  };
  struct TContent {
    QString AppName;
    QString Icon;  // a theme icon name
    QString Summary;
    QString Body;  // plain text
    std::vector<TAction> Actions;
  };

  explicit TDesktopNotification(QObject* Parent = nullptr);

  // Sends Content once. Actions are offered where the service shows them;
  // the notification is then waited on until the user answers or closes
  // it, for WaitMs at most, after which it is taken back: its actions
  // would find no one to answer them.
  void Send(const TContent& Content, int WaitMs);

 signals:
  void ActionInvoked(const QString& Key);
  // Nothing more can come of the notification: it was closed, answered,
  // not shown, or waited on long enough. Emitted once.
  void Ended();

 private slots:
  void OnActionInvoked(uint Id, const QString& Key);
  void OnClosed(uint Id, uint Reason);

 private:
  void Notify(const QStringList& Capabilities);
  void End();

  TContent content_;
  uint id_ = 0;
  bool ended_ = false;
  QTimer wait_;
};

}  // namespace leafstash
