#include "main_form.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <array>
#include <cstring>

#include "auth_form.h"
#include "file_utils.h"
#include "process_values.h"
#include "text_utils.h"
#include "ui_main_form.h"
#include "url_text.h"
#include "url_utils.h"

// The clip is linked in from a static library: it is registered by hand
// (outside any namespace, as the resource compiler names it).
static bool InitResources() {
  Q_INIT_RESOURCE(leafstash);
  return true;
}

namespace leafstash {
namespace {

// What a MIME type makes of an entry: its kind, and the extensions (one or
// two) its local name may end with; the first is added when it has none.
struct TypeRule {
  std::string_view Mime;
  TURLKind Kind;
  std::array<std::string_view, 2> Known;
};
constexpr TypeRule kTypeRules[] = {
    {"text/html", TURLKind::Page, {".htm", ".html"}},
    {"image/gif", TURLKind::Picture, {".gif", ""}},
    {"image/jpeg", TURLKind::Picture, {".jpg", ".jpeg"}},
};

bool HasExtension(std::string_view Name, const std::array<std::string_view, 2>& Extensions) {
  const std::size_t dot = Name.rfind('.');
  if (dot == std::string_view::npos) return false;
  for (std::string_view extension : Extensions)
    if (SameTextAscii(Name.substr(dot), extension)) return true;
  return false;
}

}  // namespace

std::string WithCrLfLines(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + Text.size() / 32);
  ForEachLine(Text, [&](std::string_view line) { out.append(line).append("\r\n"); });
  return out;
}

std::string FragmentAsWritten(std::string_view Link) {
  std::size_t at = Link.find('#');
  while (at != std::string_view::npos && at > 0 && Link[at - 1] == '&') at = Link.find('#', at + 1);
  if (at == std::string_view::npos) return {};
  std::string fragment(Link.substr(at));
  StripChars(fragment, LinkStripSet());
  return fragment;
}

bool IsTextPage(const std::string& Data) {
  return std::memchr(Data.data(), '\0', Data.size()) == nullptr;
}

int RoundedPercent(long long Position, long long Maximum) {
  if (Maximum <= 0) return 0;
  const long long numerator = Position * 100;
  long long q = numerator / Maximum;
  const long long r = numerator % Maximum;
  if (2 * r > Maximum || (2 * r == Maximum && (q % 2) != 0)) ++q;
  return static_cast<int>(q);
}

std::string JobTitle(long long Position, long long Maximum, const std::string& PageTitle) {
  std::string percent;
  if (Maximum == 0) {
    percent = "100%";
  } else {
    int r = RoundedPercent(Position, Maximum);
    if (r > 0) --r;
    percent = std::to_string(r) + "% ";
  }
  return percent + " Leafstash: " + PageTitle;
}

TMainForm::TMainForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::TMainForm>()) {
  ui_->setupUi(this);
  QFont font("Arial");
  font.setPixelSize(11);
  setFont(font);
  Animate1 = ui_->Animate1;
  pbGet = ui_->pbGet;
  lblStatus = ui_->lblStatus;
  lblSpeed = ui_->lblSpeed;
  btnAbort = ui_->btnAbort;
  connect(btnAbort, &QPushButton::clicked, this, [this] { btnAbortClick(); });

  IED.SetOptions({TBindInfoOption::Asynchronous, TBindInfoOption::AsyncStorage,
                  TBindInfoOption::PullData, TBindInfoOption::Resynchronize});
  IED.SetMethod(TBindVerbOption::Get);
  IED.SetCodepage(TCodePageOption::Ansi);
  IED.TimeOut = 0;
  IED.AdditionalHeader = {"Content-Type: application/x-www-form-urlencoded"};
  IED.UserAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Win32)";
  IED.OnProgress = [this](TBSCB* sender, ULONG, ULONG, ULONG code, LPCWSTR text,
                          const std::string&, const std::string& speed, const std::string&) {
    IEDProgress(sender, code, text, speed);
  };
  IED.OnData = [this](TBSCB*, unsigned char*&, ULONG& length) { IEDData(length); };
  IED.OnComplete = [this](TBSCB* sender, TStream* stream, HRESULT result) {
    IEDComplete(sender, stream, result);
  };
  IED.OnAuthenticate = [this](TBSCB* sender, HWND&, LPWSTR& user, LPWSTR& password) {
    return IEDAuthenticate(sender, user, password);
  };
  GrabParser.SetOnFoundHyperlink([this](THREFDocument* doc, const std::string& link) {
    GrabParserFoundHyperlink(doc, link);
  });
  UpdateParser.SetOnFoundHyperlink([this](THREFDocument* doc, const std::string& link) {
    UpdateParserFoundHyperlink(doc, link);
  });
}

TMainForm::~TMainForm() = default;

TURLListMan& TMainForm::List() const { return *Process().URLList; }

void TMainForm::StartAnimation() {
  if (!movie_) {
    static const bool registered = InitResources();
    (void)registered;
    movie_ = new QMovie(":/animation/progress.gif", QByteArray(), this);
    Animate1->setMovie(movie_);
  }
  movie_->start();
}

void TMainForm::Post(int Message) {
  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(Message)));
}

void TMainForm::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (started_) return;
  started_ = true;
  Post(WM_JOB_START);
}

bool TMainForm::event(QEvent* Event) {
  switch (static_cast<int>(Event->type())) {
    case WM_JOB_START:
      repaint();
      StartJob();
      return true;
    case WM_DOWNLOADS_DONE:
      if (aborted_) return true;  // the user's Abort came first: no rewriting
      ended_ = true;
      IED.Cancel();
      RewritePages();
      return true;
    case WM_JOB_CLOSE:
      done(QDialog::Accepted);
      update();
      return true;
    default:
      return QDialog::event(Event);
  }
}

void TMainForm::StartJob() {
  ActiveCount = 0;
  BytesReceived = 0;
  pbGet->setValue(0);
  pbGet->setMaximum(static_cast<int>(List().CountTopLevel()));
  const TSettings& settings = Process().Settings;
  if (settings.AutoSkip()) IED.TimeOut = settings.SkipSeconds() * 1000;
  StartNext();
}

// Starts queued entries in table order while slots are free. The count is
// raised before Download, which may complete inside the call.
void TMainForm::StartDownloads() {
  if (starting_ || ended_) return;
  starting_ = true;
  const std::int32_t threads = Process().Settings.MaxThreads();
  const std::int32_t limit = threads > 0 ? threads : 5;  // the form's default
  while (ActiveCount < limit && !ended_) {
    const auto next = List().FindFirstInState(TURLState::Queued);
    if (!next) break;
    List().SetState(*next, TURLState::Downloading);
    ++ActiveCount;
    IED.Download(List().Item(*next).EntryURL);
  }
  starting_ = false;
}

void TMainForm::StartNext() {
  if (starting_ || ended_) return;
  StartDownloads();
  if (ended_) return;
  if (ActiveCount > 0)
    UpdateProgress(true);
  else
    Post(WM_DOWNLOADS_DONE);
}

void TMainForm::IEDProgress(TBSCB* Sender, ULONG StatusCode, LPCWSTR StatusText,
                            const std::string& Speed) {
  if (!Speed.empty()) SpeedText = Speed;
  if (StatusCode != BINDSTATUS_REDIRECTING && StatusCode != BINDSTATUS_MIMETYPEAVAILABLE) return;
  const auto index = List().FindByURL(WideToAnsi(Sender->Url()));
  if (!index) return;
  const std::string text = WideToAnsi(StatusText);
  if (StatusCode == BINDSTATUS_REDIRECTING) {
    List().SetActualURL(*index, text);
    List().Rename(*index, GetLastSegment(text));
    return;
  }
  for (const TypeRule& rule : kTypeRules) {
    if (!SameTextAscii(text, rule.Mime)) continue;
    List().SetKind(*index, rule.Kind);
    if (!HasExtension(List().Item(*index).LocalName, rule.Known))
      List().AddExtension(*index, rule.Known[0]);
    return;
  }
}

void TMainForm::IEDData(ULONG BufLength) {
  BytesReceived += BufLength;
  UpdateProgress(true);
}

void TMainForm::IEDComplete(TBSCB* Sender, TStream* Stream, HRESULT Result) {
  // A download can report its end more than once; only the first counts.
  if (!completed_.insert(Sender->Id()).second) return;
  --ActiveCount;
  StartDownloads();
  const auto index = List().FindByURL(WideToAnsi(Sender->Url()));
  if (index) {
    List().SetResponseCode(*index, static_cast<std::int32_t>(Sender->ResponseCode()));
    if (List().Item(*index).Referrer.empty()) UpdateProgress(true);
    // An error status is not a page of the site, even when a body came.
    if (Result != S_OK || Sender->ResponseCode() >= 400)
      List().SetState(*index, TURLState::Failed);
    else
      SaveCompleted(*index, Stream);
  }
  IED.CancelDownload(Sender);
  StartNext();
}

void TMainForm::SaveCompleted(std::size_t Entry, TStream* Stream) {
  const TURLEntry& entry = List().Item(Entry);
  const std::string data = Stream ? Stream->ReadAll() : std::string();
  const std::string path = Process().DestPath + entry.LocalName;
  try {
    WriteFileAtomically(path, data, 0644, false);
  } catch (const TFileError&) {
    List().SetState(Entry, TURLState::Failed);
    return;
  }
  if (entry.Kind != TURLKind::Page || !IsTextPage(data)) {
    List().SetState(Entry, TURLState::Done);
    return;
  }
  // A page that comes after the end of the phase is stored, never scanned
  // nor rewritten: it stays unfinished, so a later job fetches it again.
  if (!ended_) {
    CurrentPageURL = entry.ActualURL;
    ScanSavedPage(path);
  }
  List().SetState(Entry, TURLState::AwaitingRewrite);
}

void TMainForm::btnAbortClick() {
  ended_ = aborted_ = true;
  IED.Cancel();
  Post(WM_JOB_CLOSE);
}

void TMainForm::UpdateProgress(bool Full) {
  const TSharedTexts& texts = Process().Texts;
  if (Full) {
    const std::size_t total = List().Count();
    const std::size_t done =
        List().CountInState(TURLState::AwaitingRewrite) + List().CountInState(TURLState::Done);
    pbGet->setMaximum(total == 0 ? 1 : static_cast<int>(total));
    pbGet->setValue(static_cast<int>(done));
    const int percent = RoundedPercent(pbGet->value(), pbGet->maximum());
    lblStatus->setText(QString::fromStdString(
        std::to_string(done) + " " + texts.SaveWPStr + " " + std::to_string(total) + " (" +
        std::to_string(percent) + "%) " + texts.FileRecStr));
    std::string speed = std::to_string(BytesReceived) + " " + texts.ByteRecStr;
    if (!SpeedText.empty()) speed += " (" + SpeedText + ")";
    lblSpeed->setText(QString::fromStdString(speed));
    lblStatus->repaint();
    lblSpeed->repaint();
  } else {
    lblStatus->clear();
  }
  QGuiApplication::setApplicationDisplayName(QString::fromStdString(
      JobTitle(pbGet->value(), pbGet->maximum(), Process().PageTitle)));
}

void TMainForm::ScanSavedPage(const std::string& Path) {
  PageLines.clear();
  std::optional<std::string> text;
  try {
    text = ReadFileNoFollow(Path);
  } catch (const TFileError&) {
    return;
  }
  if (!text) return;
  PageLines = SplitLines(*text);
  GrabParser.SetHTMLText(*text);
}

void TMainForm::GrabParserFoundHyperlink(THREFDocument*, const std::string& Link) {
  const std::string& tag = GrabParser.Document().TagName;
  if (!tag.empty() && tag[0] == 'A') return;  // anchors: pages come only when checked
  const TURLKind kind = tag == "IMG" ? TURLKind::Picture : TURLKind::Other;
  const std::string address = CleanLink(Link);
  if (!IsNotMailto(address) || !IsNotScript(address)) return;
  List().Add(address, CurrentPageURL, "", "", kind, TURLState::Queued);
}

void TMainForm::RewritePages() {
  TURLListMan& list = List();
  pbGet->setValue(0);
  pbGet->setMaximum(static_cast<int>(list.CountInState(TURLState::AwaitingRewrite)));
  UpdateProgress(false);
  while (const auto index = list.FindFirstInState(TURLState::AwaitingRewrite)) {
    const TURLEntry& entry = list.Item(*index);
    CurrentPageURL = entry.ActualURL;
    LinkPairs.clear();
    const std::string path = Process().DestPath + entry.LocalName;
    try {
      const std::optional<std::string> text = ReadFileNoFollow(path);
      if (!text) throw TFileError(path, ENOENT);
      if (IsTextPage(*text)) {
        const std::string page = WithCrLfLines(*text);
        UpdateParser.SetHTMLText(page);
        const std::string rewritten = RewriteLinks(page, LinkPairs);
        WriteFileAtomically(path, rewritten, 0644, false);
      }
      list.SetState(*index, TURLState::Done);
    } catch (const TFileError& e) {
      if (Process().ReportError) Process().ReportError(e.what());
      list.SetState(*index, TURLState::Failed);
    }
    pbGet->setValue(pbGet->value() + 1);
    UpdateProgress(false);
  }
  Post(WM_JOB_CLOSE);
}

void TMainForm::UpdateParserFoundHyperlink(THREFDocument*, const std::string& Link) {
  // The address the link stands for, and the text as it stands in the page.
  std::string cleaned;
  const std::string_view address = IsCleanLink(Link) ? std::string_view(Link)
                                                     : std::string_view(cleaned = CleanLink(Link));
  const std::string_view withoutFragment = address.substr(0, address.find('#'));
  if (!currentBase_ || currentBaseFor_ != CurrentPageURL) {
    currentBase_.emplace(CurrentPageURL);
    currentBaseFor_ = CurrentPageURL;
  }
  ResolveUrlInto(*currentBase_, withoutFragment, resolved_);
  TLinkPair pair;
  if (const auto index = List().FindByURL(resolved_)) {
    pair.FoundText.assign(TrimView(Link));
    pair.Replacement = LocalNameAsLink(List().Item(*index).LocalName);
    if (withoutFragment.size() < address.size()) pair.Replacement += FragmentAsWritten(pair.FoundText);
  }
  // A link the table does not hold keeps no text: nothing replaces it.
  LinkPairs.push_back(std::move(pair));
}

HRESULT TMainForm::IEDAuthenticate(TBSCB* Sender, LPWSTR& UserName, LPWSTR& Password) {
  const TSettings& settings = Process().Settings;
  const std::string user = settings.UserName(), password = settings.Password();
  // Stored credentials go, once per download, only to the page's own server.
  if (!user.empty() && !password.empty() &&
      OriginOf(WideToAnsi(Sender->CurrentUrl())) == OriginOf(Process().PageURL) &&
      credentialsGiven_.insert(Sender->Id()).second) {
    UserName = CoTaskStrDup(user);
    Password = CoTaskStrDup(password);
    return S_OK;
  }
  // The dialog names the server that asks, which after a redirection may
  // not be the one the download started at.
  TAuthForm form(this);
  form.SetUrl(WideToAnsi(Sender->CurrentUrl()));
  form.SetTexts(Process().Texts);
  if (form.exec() == QDialog::Accepted) {
    UserName = CoTaskStrDup(form.UserName());
    Password = CoTaskStrDup(form.Password());
  }
  return S_OK;
}

}  // namespace leafstash
