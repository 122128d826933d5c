#include "gui/help_window.h"

#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/app_title.h"
#include "gui/error_box.h"
#include "platform/files/file_utils.h"
#include "gui/open_address.h"

namespace leafstash {

THelpWindow::THelpWindow(QWidget* Parent) : QWidget(Parent, Qt::Window) {
  // In the start window's font, which a window of its own does not inherit.
  setAttribute(Qt::WA_WindowPropagation);
  if (Parent) setFont(Parent->font());
  // Closed like any document window.
  for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this, &QWidget::close);
  }
  Browser = new QTextBrowser(this);
  Browser->setOpenLinks(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Browser);
  resize(640, 520);
  connect(Browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& Url) { LinkClicked(Url); });
}

void THelpWindow::ShowContext(const std::string& File, int Context) {
  if (!IsRegularFile(File)) {
    ShowErrorBox(parentWidget(), "Cannot open file " + File);
    return;
  }
  QUrl source = QUrl::fromLocalFile(QString::fromStdString(File));
  source.setFragment(QString::number(Context));
  // A help file is HTML whatever its name ends in.
  Browser->setSource(source, QTextDocument::HtmlResource);
  const QString title = Browser->documentTitle();
  setWindowTitle(title.isEmpty() ? AsCaption(ApplicationTitle()) : title);
  show();
  raise();
  activateWindow();
}

void THelpWindow::LinkClicked(const QUrl& Url) {
  // Places in the help file are followed here; web and mail addresses go
  // to the desktop; nothing else is opened.
  if (Url.isRelative() && Url.path().isEmpty() && Url.hasFragment())
    Browser->scrollToAnchor(Url.fragment());
  else
    OpenWebOrMailAddress(Url);
}

}  // namespace leafstash
