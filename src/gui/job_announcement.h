// The end of a save job, announced on the desktop: what happened to the
// page, how many files were saved and how many failed, and where; its
// actions open the saved page in the user's browser and open the folder.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "core/language.h"
#include "engine/save_job.h"
#include "platform/notifications/desktop_notification.h"

namespace leafstash {

// What the notification says and offers, in the language of File.
TDesktopNotification::TContent JobAnnouncement(const TJobOutcome& Outcome,
                                               const std::string& PageTitle,
                                               const std::string& DestPath,
                                               const TLanguageFile& File);

// Sends the announcement of a job that ran; Done runs once nothing more can
// come of it (at once without a notification service).
class TJobAnnouncer : public QObject {
 public:
  explicit TJobAnnouncer(QObject* Parent = nullptr) : QObject(Parent) {}

  void Announce(const TJobOutcome& Outcome, const std::string& PageTitle,
                const std::string& DestPath, const TLanguageFile& File,
                std::function<void()> Done);

  // How long the program stays to answer the notification's actions.
  static constexpr int kWaitMs = 10 * 60 * 1000;

 private:
  TDesktopNotification* notification_ = nullptr;
};

}  // namespace leafstash
