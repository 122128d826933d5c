#include "gui/job_announcement.h"

#include <QDesktopServices>
#include <QUrl>

namespace leafstash {
namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

const char* SummaryKey(TJobEnd End) {
  switch (End) {
    case TJobEnd::Saved: return "ntfSaved";
    case TJobEnd::PartlySaved: return "ntfPartly";
    case TJobEnd::Failed: return "ntfFailed";
    case TJobEnd::Aborted: return "ntfAborted";
  }
  return "ntfFailed";
}

}  // namespace

TDesktopNotification::TContent JobAnnouncement(const TJobOutcome& Outcome,
                                               const std::string& PageTitle,
                                               const std::string& DestPath,
                                               const TLanguageFile& File) {
  const auto text = [&](const char* Key) { return Q(File.Value(Key)); };
  TDesktopNotification::TContent content;
  content.AppName = "Leafstash";
  content.Icon = "leafstash";
  const QString title = PageTitle.empty() ? Q(DestPath) : Q(PageTitle);
  content.Summary = text(SummaryKey(Outcome.End)).arg(title);
  // Counted as the window counts: one failed page is one failed file.
  QStringList lines{text("ntfBody").arg(QString::number(Outcome.Saved),
                                        QString::number(Outcome.Failures.size()), Q(DestPath))};
  if (Outcome.Reused > 0) lines << text("ntfReused").arg(QString::number(Outcome.Reused));
  if (Outcome.PageFailure) lines << text("ntfPageFailed").arg(Q(*Outcome.PageFailure));
  content.Body = lines.join('\n');
  const bool page = !Outcome.PagePath.empty();
  // A click on the notification itself opens the page, or the folder
  // when there is no page.
  content.Actions.push_back({"default", page ? text("ntfOpenPage") : text("ntfOpenFolder")});
  if (page) content.Actions.push_back({"open-page", text("ntfOpenPage")});
  content.Actions.push_back({"open-folder", text("ntfOpenFolder")});
  return content;
}

void TJobAnnouncer::Announce(const TJobOutcome& Outcome, const std::string& PageTitle,
                             const std::string& DestPath, const TLanguageFile& File,
                             std::function<void()> Done) {
  if (notification_) notification_->deleteLater();
  notification_ = new TDesktopNotification(this);
  const QUrl page = QUrl::fromLocalFile(Q(Outcome.PagePath));
  const QUrl folder = QUrl::fromLocalFile(Q(DestPath));
  connect(notification_, &TDesktopNotification::ActionInvoked, this,
          [page, folder, hasPage = !Outcome.PagePath.empty()](const QString& Key) {
            if (Key == "open-page" || (Key == "default" && hasPage))
              QDesktopServices::openUrl(page);
            else if (Key == "open-folder" || Key == "default")
              QDesktopServices::openUrl(folder);
          });
  connect(notification_, &TDesktopNotification::Ended, this, [Done] {
    if (Done) Done();
  });
  notification_->Send(JobAnnouncement(Outcome, PageTitle, DestPath, File), kWaitMs);
}

}  // namespace leafstash
