// The start window's page capture: the page's address and title, the links
// of the selection and the list of the document's links.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <unordered_set>

#include "gui/app_title.h"
#include "gui/links_view.h"
#include "core/process_values.h"
#include "gui/start_form.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

namespace leafstash {

void TStartForm::FillLinkList(const Variant& WB) {
  TProcessValues& process = Process();
  SetPage(tshGeneral);
  UpdatePageLock();
  pageCaptured_ = true;
  process.BrowserWindow = WB;
  const Variant parentDocument = WB.Get("parent").Get("document");
  process.PageURL = Trim(parentDocument.Get("Url").ToText());
  process.PageTitle = Trim(parentDocument.Get("Title").ToText());
  setWindowTitle(AsCaption("Leafstash: " + process.PageTitle));
  edSubFolder->setText(QString::fromStdString(TitleToFolderName(process.PageTitle)));
  SetApplicationTitle("Leafstash: " + process.PageTitle);

  SelectionLinks.clear();
  const Variant document = WB.Get("document");
  DocumentURL = document.Get("URL").ToText();
  const std::string selection =
      document.Get("selection").Invoke("createRange").Get("HtmlText").ToText();
  HREFParser1.SetOnFoundHyperlink(
      [this](THREFDocument*, const std::string& link) { HREFParser1FoundHyperlink(link); });
  HREFParser1.SetHTMLText(selection);
  HREFParser1.Parse();
  const std::unordered_set<std::string> selected(SelectionLinks.begin(), SelectionLinks.end());

  LinksView->setUpdatesEnabled(false);
  struct TResume {
    TStartForm* Form;
    ~TResume() {
      Form->SelectionLinks.clear();
      Form->LinksView->setUpdatesEnabled(true);
    }
  } resume{this};
  const Variant links = document.Get("Links");
  const std::int64_t count = links.Get("Length").ToInteger();
  for (std::int64_t i = 0; i < count; ++i) {
    const std::string href = links.Invoke("Item", {Variant(i)}).Get("href").ToText();
    if (!IsHttpUrl(href)) continue;
    QTreeWidgetItem* row = LinksView->AddRow(href, selected.count(href) != 0);
    // The element is asked again for each column.
    TLinksView::SetExtension(
        row, LowerCopy(GetUrlExtension(links.Invoke("Item", {Variant(i)}).Get("href").ToText())));
    TLinksView::SetLinkText(row, Trim(links.Invoke("Item", {Variant(i)}).Get("innerText").ToText()));
  }
  // The link the menu was opened on goes along: its rows are checked, and
  // it gets a row of its own when the page's links do not hold it.
  const TClickedLink& clicked = process.Handover.ClickedLink;
  if (IsHttpUrl(clicked.Href)) {
    bool listed = false;
    for (QTreeWidgetItem* row : LinksView->Rows()) {
      if (TLinksView::Href(row) != clicked.Href) continue;
      TLinksView::SetChecked(row, true);
      listed = true;
    }
    if (!listed) {
      QTreeWidgetItem* row = LinksView->AddRow(clicked.Href, true);
      TLinksView::SetExtension(row, LowerCopy(GetUrlExtension(clicked.Href)));
      TLinksView::SetLinkText(row, Trim(clicked.Text));
    }
  }
  LinksView->resizeColumnToContents(0);
  LinksView->resizeColumnToContents(2);
  ShowHowPageIsSaved();
  WaitPanel->hide();
  lblWait->hide();
  chbOptDef->show();
}

void TStartForm::HREFParser1FoundHyperlink(const std::string& Hyperlink) {
  SelectionLinks.push_back(ResolveUrl(DocumentURL, StripFragment(CleanLink(Hyperlink))));
}

void TStartForm::btnAllClick() {
  for (QTreeWidgetItem* row : LinksView->Rows()) TLinksView::SetChecked(row, true);
}

void TStartForm::btnInverseClick() {
  for (QTreeWidgetItem* row : LinksView->Rows())
    TLinksView::SetChecked(row, !TLinksView::IsChecked(row));
}

void TStartForm::btnInternalClick() {
  const std::string root = GetSiteRoot(Process().PageURL);
  for (QTreeWidgetItem* row : LinksView->Rows())
    if (TLinksView::IsChecked(row) && GetSiteRoot(TLinksView::Href(row)) != root)
      TLinksView::SetChecked(row, false);
}

}  // namespace leafstash
