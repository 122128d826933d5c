// The page capture: what the browser window gives fills the link list; the
// buttons, the space bar and the column headers change the choice.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWindow>
#include <nlohmann/json.hpp>

#include "gui/links_view.h"
#include "start_form_fixture.h"

namespace leafstash {
namespace {

using nlohmann::json;

class PageCaptureTest : public ::testing::Test, public test::StartFormFixture {
 protected:
  static json Page(const json& Links) {
    return {{"url", " \thttp://h.test/dir/page.html \r\n"},
            {"title", "  Notes: 2.0 / draft [*] "},
            {"documentUrl", "http://h.test/dir/frame.html"},
            {"selectionHtml",
             "<p><a href=\"b.html\">b</a> <a href='c.html#part'>c</a>\n"
             "<a href=\"d\r\n.html\">d</a> <a href=\"e.html?a=1&amp;b=2\">e</a></p>"},
            {"links", Links}};
  }
  static json Link(const std::string& Href, const std::string& Text = "") {
    return {{"href", Href}, {"innerText", Text}};
  }
  // Starts the window with Snapshot; the result of Start.
  HRESULT StartWith(const json& Snapshot) {
    Shown();
    app_ = TLSApp::Create();
    return app_->Start(Window(Snapshot.dump()));
  }
  void TearDown() override {
    form_.reset();
    if (app_) app_->Release();
  }
  std::vector<std::string> Column(int Index) {
    std::vector<std::string> texts;
    for (QTreeWidgetItem* row : Form().LinksView->Rows()) texts.push_back(row->text(Index).toStdString());
    return texts;
  }
  std::vector<bool> Checks() {
    std::vector<bool> checks;
    for (QTreeWidgetItem* row : Form().LinksView->Rows()) checks.push_back(TLinksView::IsChecked(row));
    return checks;
  }
  void Check(const std::vector<bool>& States) {
    const auto rows = Form().LinksView->Rows();
    for (int i = 0; i < rows.size(); ++i) TLinksView::SetChecked(rows[i], States[i]);
  }

  TLSApp* app_ = nullptr;
};

TEST_F(PageCaptureTest, TheListShowsTheWebLinksAndChecksThoseOfTheSelection) {
  json links = json::array({Link("http://h.test/dir/b.html", "  Bee \n"), Link("mailto:x@h.test"),
                            Link("http://h.test/dir/b.html#top"), Link("HTTP://h.test/dir/PIC.JPG?x=1"),
                            Link("http://h.test/dir/c.html"), Link("javascript:void(0)"),
                            Link("http://h.test/dir/d.html"), Link("hTTpS://h.test/dir/e.html?a=1&b=2"),
                            Link("ftp://h.test/f"), Link("file:///etc/passwd"),
                            Link("http://h.test/dir/b.html", "again"), Link("http://h.test/"),
                            Link("http://h.test/x", "caf\xC3\xA9 \xE2\x9C\x93")});
  for (int i = 0; i < 3; ++i) links.push_back(Link("http://other.test/" + std::to_string(i)));
  ASSERT_EQ(StartWith(Page(links)), S_OK);
  TStartForm& form = Form();
  EXPECT_EQ(Process().PageURL, "http://h.test/dir/page.html");
  EXPECT_EQ(Process().PageTitle, "Notes: 2.0 / draft [*]");
  // As the desktop shows it: nothing appended, the brackets kept.
  ASSERT_NE(form.windowHandle(), nullptr);
  EXPECT_EQ(form.windowHandle()->title().toStdString(), "Leafstash: Notes: 2.0 / draft [*]");
  EXPECT_EQ(ApplicationTitle(), "Leafstash: Notes: 2.0 / draft [*]");
  EXPECT_EQ(form.edSubFolder->text(), "Notes 20  draft ");
  EXPECT_EQ(form.PageControl1->currentWidget(), form.tshGeneral);
  EXPECT_FALSE(form.WaitPanel->isVisible());
  EXPECT_EQ(Column(0), (std::vector<std::string>{" 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8", " 9",
                                                 "10", "11", "12"}));
  EXPECT_EQ(Column(1)[2], "HTTP://h.test/dir/PIC.JPG?x=1");
  EXPECT_EQ(Column(2)[2], "jpg");
  EXPECT_EQ(Column(2)[7], "");
  EXPECT_EQ(Column(3)[0], "Bee");
  EXPECT_EQ(TLinksView::LinkText(form.LinksView->Rows()[8]), "caf\xC3\xA9 \xE2\x9C\x93");
  // b.html twice, c.html whose selected link had a fragment, d.html whose
  // link was broken over lines; the e.html row is written in capitals.
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false, false, true, true, false, true, false, false,
                                         false, false, false}));
}

TEST_F(PageCaptureTest, TheLinkTheMenuWasOpenedOnIsChecked) {
  json page = Page(json::array({Link("http://h.test/dir/x.html", "x"), Link("http://h.test/dir/y.html"),
                                Link("http://h.test/dir/x.html", "x again")}));
  page["selectionHtml"] = "";
  Process().Handover.ClickedLink = {"http://h.test/dir/x.html", "x"};
  ASSERT_EQ(StartWith(page), S_OK);
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true}));
}

TEST_F(PageCaptureTest, AClickedLinkThePageDoesNotListGetsARowOfItsOwn) {
  json page = Page(json::array({Link("http://h.test/dir/y.html", "y")}));
  page["selectionHtml"] = "";
  Process().Handover.ClickedLink = {"http://other.test/Doc.PDF#p2", " Doc "};
  ASSERT_EQ(StartWith(page), S_OK);
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true}));
  EXPECT_EQ(Column(1)[1], "http://other.test/Doc.PDF#p2");
  EXPECT_EQ(Column(2)[1], "pdf");
  EXPECT_EQ(Column(3)[1], "Doc");
}

TEST_F(PageCaptureTest, TheWayThePageIsSavedIsShownAndKeptBesideTheRecord) {
  // No document handed over: the page can only be downloaded.
  ASSERT_EQ(StartWith(Page(json::array())), S_OK);
  EXPECT_FALSE(Form().chbShown->isEnabled());
  EXPECT_FALSE(Form().chbShown->isChecked());
  form_.reset();
  app_->Release();
  app_ = nullptr;
  ComServer() = TComServer();

  // Handed over: saved as shown, unless the stored option says otherwise.
  Process().Handover.Documents = {{"http://h.test/dir/page.html", "<html>shown</html>"}};
  config_.Write("lfsta.ini", "[Leafstash]\r\nLaterOption=7\r\n");
  ASSERT_EQ(StartWith(Page(json::array())), S_OK);
  TStartForm& form = Form();
  EXPECT_TRUE(form.chbShown->isEnabled());
  EXPECT_TRUE(form.chbShown->isChecked());
  EXPECT_FALSE(form.chbShown->text().isEmpty());
  EXPECT_FALSE(form.chbShown->toolTip().isEmpty());

  // Unchecked and kept as the default: the record stays 552 bytes, the
  // new option goes beside it, and what a later version wrote stays.
  form.chbShown->click();
  form.chbOptDef->setChecked(true);
  form.SaveOptions();
  EXPECT_FALSE(Process().ExtraSettings.SaveAsShown());
  EXPECT_EQ(config_.Read("lfsta.cfg").size(), 552u);
  EXPECT_EQ(config_.Read("lfsta.ini"), "[Leafstash]\r\nLaterOption=7\r\nSaveAsShown=0\r\n");
  form.LoadOptions();
  EXPECT_FALSE(form.chbShown->isChecked());
  EXPECT_TRUE(form.chbShown->isEnabled());
}

TEST_F(PageCaptureTest, ButtonsSpaceBarAndColumnHeadersChangeTheChoice) {
  json links = json::array();
  for (const char* href : {"http://h.test/a", "http://H.test/b", "https://h.test/c", "http://h.test/d",
                           "http://other.test/e"})
    links.push_back(Link(href, std::string("text ") + href[std::string(href).size() - 1]));
  ASSERT_EQ(StartWith(Page(links)), S_OK);
  TStartForm& form = Form();
  form.btnAllClick();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, true, true, true}));
  form.btnInverseClick();
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false, false, false}));
  Check({true, true, true, false, true});
  // Another host, another letter case of it, another scheme: unchecked.
  form.btnInternalClick();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false, false, false, false}));

  // Space over three selected rows gives them the focused row's new state.
  TLinksView* view = form.LinksView;
  view->setFocus();
  const auto rows = view->Rows();
  view->setCurrentItem(rows[1], 2);  // the focus in another column
  rows[0]->setSelected(true);
  rows[1]->setSelected(true);
  rows[3]->setSelected(true);
  QTest::keyClick(view, Qt::Key_Space);
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, false, true, false}));
  QTest::keyClick(view, Qt::Key_Space);
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false, false, false}));

  // Sorting by a header click; the numbers stay with their rows.
  QHeaderView* header = view->header();
  const auto clickColumn = [&](int Column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(Column) + 5, header->height() / 2));
  };
  clickColumn(1);
  EXPECT_EQ(Column(1), (std::vector<std::string>{"http://h.test/a", "http://H.test/b", "http://h.test/d",
                                                 "http://other.test/e", "https://h.test/c"}));
  EXPECT_EQ(Column(0), (std::vector<std::string>{" 1", " 2", " 4", " 5", " 3"}));
  clickColumn(0);
  EXPECT_EQ(Column(0), (std::vector<std::string>{" 1", " 2", " 3", " 4", " 5"}));
}

TEST_F(PageCaptureTest, RowNumbersSortAsNumbers) {
  json links = json::array();
  for (int i = 0; i < 12; ++i) links.push_back(Link("http://h.test/" + std::to_string(i)));
  ASSERT_EQ(StartWith(Page(links)), S_OK);
  TLinksView* view = Form().LinksView;
  view->LinksViewColumnClick(3);
  view->LinksViewColumnClick(0);
  EXPECT_EQ(Column(0)[1], " 2");
  EXPECT_EQ(Column(0)[9], "10");
}

TEST_F(PageCaptureTest, AWindowThatFailsStopsTheCaptureWhereItFailed) {
  struct TCase {
    const char* Missing;
    std::function<void(json&)> Break;
    int Rows;
  };
  const std::vector<TCase> cases = {
      {"Url", [](json& s) { s.erase("url"); }, 0},
      {"URL", [](json& s) { s.erase("documentUrl"); }, 0},
      {"selection", [](json& s) { s.erase("selectionHtml"); }, 0},
      {"Links", [](json& s) { s.erase("links"); }, 0},
      {"href", [](json& s) { s["links"][2].erase("href"); }, 2},
      {"innerText", [](json& s) { s["links"][1].erase("innerText"); }, 2},
  };
  for (const TCase& c : cases) {
    json snapshot = Page(json::array({Link("http://h.test/1"), Link("http://h.test/2"),
                                      Link("http://h.test/3")}));
    c.Break(snapshot);
    const HRESULT result = StartWith(snapshot);
    EXPECT_LT(result, 0) << c.Missing;
    EXPECT_NE(app_->ErrorText().find(c.Missing), std::string::npos) << app_->ErrorText();
    EXPECT_TRUE(Form().WaitPanel->isVisible()) << c.Missing;
    EXPECT_FALSE(Form().chbOptDef->isVisible()) << c.Missing;
    EXPECT_EQ(Form().LinksView->topLevelItemCount(), c.Rows) << c.Missing;
    EXPECT_TRUE(Form().LinksView->updatesEnabled());
    form_.reset();
    ReleaseAppObject();
    app_->Release();
    app_ = nullptr;
  }
}

TEST_F(PageCaptureTest, OddSelectionsAndLongListsComplete) {
  json links = json::array();
  for (int i = 0; i < 10000; ++i) links.push_back(Link("http://h.test/p" + std::to_string(i) + ".html"));
  json snapshot = Page(links);
  snapshot["selectionHtml"] = "<a href=p7.html <b><<a href='p9.html'>>\"</a><a href=\"";
  ASSERT_EQ(StartWith(snapshot), S_OK);
  EXPECT_EQ(Form().LinksView->topLevelItemCount(), 10000);
  EXPECT_EQ(Column(0)[9999], "10000");
  // Text that is not UTF-8 never reaches the window: the snapshot is refused.
  EXPECT_THROW(Window("{\"url\":\"http://h.test/\xff\"}"), SnapshotError);
}

}  // namespace
}  // namespace leafstash
