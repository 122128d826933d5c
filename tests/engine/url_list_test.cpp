#include "engine/url_list.h"

#include "engine_fixture.h"
#include "host/page_snapshot.h"

namespace leafstash {
namespace {

using test::EngineTest;
using NameList = std::vector<std::string>;

constexpr TURLKind kOther = TURLKind::Other, kPicture = TURLKind::Picture;
constexpr TURLState kQueued = TURLState::Queued;

class URLListTest : public EngineTest {};

TEST_F(URLListTest, AdmissionOfAddresses) {
  TURLListMan list;
  EXPECT_TRUE(list.Add("http://h/a.html#top", "", "", "", kOther, kQueued));
  EXPECT_FALSE(list.Add("http://h/a.html", "", "", "", kOther, kQueued));
  EXPECT_TRUE(list.Add("HTTP://h/a.html", "", "", "", kOther, kQueued));
  EXPECT_TRUE(list.Add("img/b.gif", "http://h/d/p.html", "", "", kOther, kQueued));
  EXPECT_EQ(list.Item(2).EntryURL, "http://h/d/img/b.gif");
  EXPECT_EQ(list.Item(2).Referrer, "http://h/d/p.html");
  for (const char* bad : {"ftp://h/x", "mailto:x", "javascript:x", "", "data:image/gif;base64,R0"})
    EXPECT_FALSE(list.Add(bad, "http://h/d/p.html", "", "", kOther, kQueued)) << bad;
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.CountTopLevel(), 2u);
  EXPECT_TRUE(list.FindByURL("http://h/a.html").has_value());
  EXPECT_FALSE(list.FindByURL("http://h/a.html#top").has_value());
}

TEST_F(URLListTest, PictureOptions) {
  TURLListMan list;
  EXPECT_FALSE(list.Add("x.gif", "http://a/p.html", "", "", kPicture, kQueued));
  EXPECT_TRUE(list.Add("bg.gif", "http://a/p.html", "", "", kOther, kQueued));  // a background

  Settings().SetSavePictures(true);
  Settings().SetLocalPicturesOnly(true);
  Process().PageURL = "http://b/index.html";
  EXPECT_FALSE(list.Add("http://cdn/x.gif", "http://a/p.html", "", "", kPicture, kQueued));
  EXPECT_TRUE(list.Add("http://cdn/x.gif", "http://cdn/p.html", "", "", kPicture, kQueued));
  EXPECT_TRUE(list.Add("http://b/y.gif", "http://a/p.html", "", "", kPicture, kQueued));
  EXPECT_TRUE(list.Add("http://cdn/other.js", "http://a/p.html", "", "", kOther, kQueued));

  Settings().SetUseURLFilter(true);
  Settings().SetURLFilter("Banner, ads ,,");
  list.LoadFilterWords();
  EXPECT_EQ(list.FilterWords(), (NameList{"banner", "ads"}));
  EXPECT_FALSE(list.Add("http://b/ads/x.gif", "", "", "", kPicture, kQueued));
  EXPECT_TRUE(list.Add("http://b/ADS/x.gif", "", "", "", kPicture, kQueued));
  EXPECT_TRUE(list.Add("http://b/ads/x.html", "", "", "", kOther, kQueued));
}

TEST_F(URLListTest, LocalNamesAsTheWalkGivesThem) {
  TURLListMan list;
  for (const char* url : {"http://h/a.gif", "http://h2/a.gif", "http://h3/A.GIF", "http://h/d/",
                          "http://h2/d/", "http://h/show.asp?id=7", "http://h/%3F%3F/:?"})
    ASSERT_TRUE(list.Add(url, "", "", "", kOther, kQueued));
  EXPECT_EQ(Names(list), (NameList{"a.gif", "0a.gif", "1A.GIF", "f2", "f3", "show.aspid7", "f4"}));
  EXPECT_EQ(list.NameCounter(), 5);
}

TEST_F(URLListTest, LocalNamesAreUniqueInTheWholeTable) {
  TURLListMan list;
  for (const char* url : {"http://h/0a.gif", "http://h/a.gif", "http://h2/a.gif"})
    ASSERT_TRUE(list.Add(url, "", "", "", kOther, kQueued));
  // The walk alone would give the third "0a.gif", the first entry's name.
  EXPECT_EQ(Names(list), (NameList{"0a.gif", "a.gif", "10a.gif"}));

  // Given names pass the same rule; the log's own name is never given.
  ASSERT_TRUE(list.Add("http://h/p1", "", "", "INDEX.HTML", kOther, kQueued));
  ASSERT_TRUE(list.Add("http://h/p2", "", "", "index.html", kOther, kQueued));
  ASSERT_TRUE(list.Add("http://h/lfsta4.log", "", "", "", kOther, kQueued));
  ASSERT_TRUE(list.Add("http://h/d/..", "", "", "", kOther, kQueued));
  EXPECT_EQ(list.Item(4).LocalName, "2index.html");
  EXPECT_EQ(list.Item(5).LocalName, "3lfsta4.log");
  EXPECT_EQ(list.Item(6).LocalName, "f4");
}

TEST_F(URLListTest, RenamingKeepsNamesUnique) {
  TURLListMan list;
  ASSERT_TRUE(list.Add("http://h/show.htm", "", "", "", kOther, kQueued));
  ASSERT_TRUE(list.Add("http://h/show", "", "", "", kOther, kQueued));
  list.Rename(1, "show.htm");  // after the MIME type asked for ".htm"
  EXPECT_EQ(list.Item(1).LocalName, "0show.htm");
  list.Rename(1, "0show.htm");  // its own name is not taken
  EXPECT_EQ(list.Item(1).LocalName, "0show.htm");
  list.Rename(0, "moved.htm");
  ASSERT_TRUE(list.Add("http://h2/show.htm", "", "", "", kOther, kQueued));
  EXPECT_EQ(list.Item(2).LocalName, "show.htm");  // the old name is free again
}

TEST_F(URLListTest, LongAddressesAndNames) {
  TURLListMan list;
  const std::string base = "http://h/" + std::string(300, 'x');
  ASSERT_TRUE(list.Add(base + "1.gif", "", "", "", kOther, kQueued));
  ASSERT_TRUE(list.Add(base + "2.gif", "", "", "", kOther, kQueued));  // differs after 250
  EXPECT_FALSE(list.Add(base + "1.gif", "", "", "", kOther, kQueued));
  EXPECT_EQ(list.FindByURL(base + "2.gif"), 1u);
  EXPECT_EQ(list.Item(0).EntryURL, base + "1.gif");
  for (std::size_t i = 0; i < 2; ++i) EXPECT_LE(list.Item(i).LocalName.size(), 245u);
  EXPECT_NE(list.Item(0).LocalName, list.Item(1).LocalName);

  std::string wide = "http://h/";
  for (int k = 0; k < 200; ++k) wide += "\xD0\x96";  // 400 bytes of "Ж"
  ASSERT_TRUE(list.Add(wide, "", "", "", kOther, kQueued));
  const std::string& name = list.Item(2).LocalName;
  EXPECT_LE(name.size(), 245u);
  EXPECT_EQ(name.size() % 2, 0u);  // whole two-byte characters only

  // An extension the MIME type asks for survives on a name at the limit.
  list.AddExtension(0, ".htm");
  list.AddExtension(1, ".htm");
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_LE(list.Item(i).LocalName.size(), 245u);
    EXPECT_TRUE(list.Item(i).LocalName.ends_with(".htm")) << list.Item(i).LocalName;
  }
  EXPECT_NE(list.Item(0).LocalName, list.Item(1).LocalName);
}

TEST_F(URLListTest, StatesAndLookups) {
  TURLListMan list;
  for (const char* url : {"http://h/1", "http://h/2", "http://h/3"})
    list.Add(url, "", "", "", kOther, kQueued);
  EXPECT_EQ(list.FindFirstInState(kQueued), 0u);
  list.SetState(0, TURLState::Downloading);
  EXPECT_EQ(list.FindFirstInState(kQueued), 1u);
  list.SetState(1, TURLState::Done);
  list.SetState(2, TURLState::Failed);
  EXPECT_FALSE(list.FindFirstInState(kQueued).has_value());
  list.SetState(0, kQueued);  // a state set again on an earlier entry is found
  EXPECT_EQ(list.FindFirstInState(kQueued), 0u);
  EXPECT_EQ(list.CountInState(kQueued), 1u);
  EXPECT_EQ(list.CountInState(TURLState::Done), 1u);
  EXPECT_EQ(list.CountInState(TURLState::Failed), 1u);
  list.Add("http://h/4", "", "", "", kOther, kQueued);
  list.SetState(0, TURLState::Done);
  EXPECT_EQ(list.FindFirstInState(kQueued), 3u);
}

TEST_F(URLListTest, PageAndFramesFromTheBrowserWindow) {
  Process().PageURL = "http://h/a.html";
  Process().PageTitle = "Home";
  Process().BrowserWindow = BuildWindowFromSnapshot(R"({
    "url": "http://h/a.html", "title": "Home",
    "frames": [ { "location": "http://h/f1.html", "title": "F1" },
                { "location": "ftp://h/f2.html", "title": "F2" },
                { "location": "http://h/f3.html#x", "title": "F3" } ] })");
  TURLListMan list;
  list.AddPageAndFrames();
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(Names(list), (NameList{"INDEX.HTML", "f1.html", "f3.html"}));
  EXPECT_EQ(list.Item(0).LinkTitle, "Home");
  EXPECT_EQ(list.Item(2).LinkTitle, "F3");
  EXPECT_EQ(list.Item(2).EntryURL, "http://h/f3.html");
  EXPECT_EQ(list.Item(1).Kind, TURLKind::Page);

  // A window that cannot tell its frames still gives the page.
  Process().BrowserWindow = Variant::Null();
  TURLListMan alone;
  alone.AddPageAndFrames();
  EXPECT_EQ(Names(alone), (NameList{"INDEX.HTML"}));
}

}  // namespace
}  // namespace leafstash
