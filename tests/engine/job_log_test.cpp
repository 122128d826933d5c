#include <gtest/gtest.h>
#include <unistd.h>

#include "engine_fixture.h"

namespace leafstash {
namespace {

using test::EngineTest;

TURLEntry Entry(std::string Url, std::string Name, TURLKind Kind, TURLState State) {
  TURLEntry e;
  e.EntryURL = e.ActualURL = std::move(Url);
  e.LocalName = std::move(Name);
  e.Kind = Kind;
  e.State = State;
  return e;
}

std::string Record(const TURLEntry& e) {
  std::string bytes(kLogRecordSize, '\0');
  EncodeLogRecord(e, reinterpret_cast<unsigned char*>(bytes.data()));
  return bytes;
}

TEST(LogRecord, LayoutAtItsOffsets) {
  TURLEntry e = Entry("http://h/a", "a", TURLKind::Page, TURLState::AwaitingRewrite);
  e.ActualURL = "http://h/b";
  e.Referrer = "http://h/";
  e.LinkTitle = std::string(300, 't');
  e.ResponseCode = -2;
  const std::string r = Record(e);
  EXPECT_EQ(r.substr(0, 11), "\x0Ahttp://h/a");
  EXPECT_EQ(r.substr(251, 11), "\x0Ahttp://h/b");
  EXPECT_EQ(r.substr(502, 10), "\x09http://h/");
  EXPECT_EQ(static_cast<unsigned char>(r[753]), 250);  // cut to 250
  EXPECT_EQ(r.substr(754, 250), std::string(250, 't'));
  EXPECT_EQ(r.substr(1004, 2), "\x01" "a");
  EXPECT_EQ(r.substr(1255, 9), std::string("\x02\x02\0\0\0\xFE\xFF\xFF\xFF", 9));
  EXPECT_EQ(r.substr(1006, 249), std::string(249, '\0'));  // unused bytes are zero

  const auto back = DecodeLogRecord(reinterpret_cast<const unsigned char*>(r.data()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->LinkTitle, std::string(250, 't'));
  EXPECT_EQ(back->ResponseCode, -2);
  EXPECT_EQ(back->State, TURLState::AwaitingRewrite);
}

TEST(LogRecord, UntrustworthyRecordsAreRefused) {
  const TURLEntry good = Entry("http://h/a", "a.gif", TURLKind::Picture, TURLState::Done);
  const auto decode = [](std::string r) {
    return DecodeLogRecord(reinterpret_cast<const unsigned char*>(r.data())).has_value();
  };
  EXPECT_TRUE(decode(Record(good)));
  std::string r = Record(good);
  r[502] = static_cast<char>(251);
  EXPECT_FALSE(decode(r));
  r = Record(good);
  r[1255] = 3;
  EXPECT_FALSE(decode(r));
  r = Record(good);
  r[1256] = 5;
  EXPECT_FALSE(decode(r));
  for (const char* name : {"", ".", "..", "../x", "a/b", "a\\b", "a\x01", "a\x7F"}) {
    TURLEntry bad = good;
    bad.LocalName = name;
    EXPECT_FALSE(decode(Record(bad))) << name;
  }
  TURLEntry nul = good;
  nul.LocalName = std::string("a\0b", 3);
  EXPECT_FALSE(decode(Record(nul)));
}

class JobLogTest : public EngineTest {
 protected:
  void WriteLog(const std::vector<TURLEntry>& records, const std::string& tail = "") {
    std::string data;
    for (const auto& r : records) data += Record(r);
    dest.Write("lfsta4.log", data + tail);
  }
};

TEST_F(JobLogTest, TheTableIsWrittenWhenTheManagerGoes) {
  {
    TURLListMan list;
    list.Add("http://h/1.html", "", "", "", TURLKind::Page, TURLState::Queued);
    list.Add("http://h/2.gif", "http://h/1.html", "", "", TURLKind::Other, TURLState::Queued);
    list.Add("http://h/3", "", "", "", TURLKind::Other, TURLState::Queued);
    list.SetState(0, TURLState::Downloading);  // left so by an abort
  }
  const std::string log = dest.Read("lfsta4.log");
  ASSERT_EQ(log.size(), 3792u);
  EXPECT_EQ(log.substr(1264, 15), "\x0Ehttp://h/2.gif");
  EXPECT_EQ(log[1256], 1);
  EXPECT_TRUE(errors.empty());

  // A write that fails leaves the old log and reaches the error report.
  Process().DestPath = dest.File("gone/");
  { TURLListMan list; }
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(dest.Read("lfsta4.log"), log);
}

TEST_F(JobLogTest, SavingTheSamePageTwiceReusesEverything) {
  Settings().SetSavePictures(true);
  Settings().SetSkipExisting(true);
  Process().PageURL = "http://h/d/page.html";
  Process().PageTitle = "Page";
  {
    TURLListMan first;
    first.AddPageAndFrames();
    first.Add("a.gif", "http://h/d/page.html", "", "", TURLKind::Picture, TURLState::Queued);
    first.Add("http://cdn/b.gif", "http://h/d/page.html", "", "", TURLKind::Picture,
              TURLState::Queued);
    first.Add("s.js", "http://h/d/page.html", "", "", TURLKind::Other, TURLState::Queued);
    for (std::size_t i = 0; i < first.Count(); ++i) first.SetState(i, TURLState::Done);
  }
  // The saved page with its links rewritten to the local names.
  dest.Write("INDEX.HTML",
             "<html><body background='a.gif'><img src = \"a.gif\"><IMG SRC=b.gif>\r\n"
             "<script src=\"s.js\"></script><a href=\"elsewhere.html\">x</a></body>");
  for (const char* name : {"a.gif", "b.gif", "s.js"}) dest.Write(name, "data");

  TURLListMan second;
  second.AddPageAndFrames();
  ASSERT_EQ(second.Count(), 4u);
  EXPECT_EQ(second.CountInState(TURLState::Done), 4u);
  EXPECT_EQ(second.CountInState(TURLState::Queued), 0u);
  EXPECT_EQ(second.Item(0).LocalName, "INDEX.HTML");
  EXPECT_EQ(second.FindByURL("http://cdn/b.gif").has_value(), true);
  EXPECT_EQ(second.Item(*second.FindByURL("http://h/d/a.gif")).LocalName, "a.gif");
}

TEST_F(JobLogTest, WhatIsGoneOrUnfinishedIsFetchedAgain) {
  Settings().SetSavePictures(true);
  Settings().SetSkipExisting(true);
  WriteLog({Entry("http://h/p.html", "p.html", TURLKind::Page, TURLState::Done),
            Entry("http://h/kept.gif", "kept.gif", TURLKind::Picture, TURLState::Done),
            Entry("http://h/deleted.gif", "deleted.gif", TURLKind::Picture, TURLState::Done),
            Entry("http://h/failed.gif", "failed.gif", TURLKind::Picture, TURLState::Failed),
            Entry("http://h/sub.html", "sub.html", TURLKind::Page, TURLState::Done),
            Entry("http://h/c%d.gif", "c%d.gif", TURLKind::Picture, TURLState::Done)});
  dest.Write("p.html",
             "<img src=kept.gif><img src=deleted.gif><img src='failed.gif'>"
             "<img src=\"new.gif#x\"><img src=\"c%25d.gif\"><IMG SRC=\"sub.html\">"
             "<img src=\"http://h/abs.gif\"><img src=\"sp&#97;ce.gif\">"
             "<!-- <img src=commented.gif> --><script>document.write('<img src=no.gif>')"
             "</script><img src=after.gif>");
  for (const char* name : {"kept.gif", "failed.gif", "sub.html", "c%d.gif"}) dest.Write(name, "x");
  Process().PageURL = "http://h/other.html";

  TURLListMan list;
  list.AddPageAndFrames();
  const auto state = [&](const std::string& url) {
    const auto at = list.FindByURL(url);
    return at ? static_cast<int>(list.Item(*at).State) : -1;
  };
  const int done = 4, queued = 0, awaitingRewrite = 2;
  // Its absolute link is fetched now: the page is rewritten again.
  EXPECT_EQ(state("http://h/p.html"), awaitingRewrite);
  EXPECT_TRUE(list.RewritesAbsoluteOnly(*list.FindByURL("http://h/p.html")));
  EXPECT_EQ(state("http://h/kept.gif"), done);
  EXPECT_EQ(state("http://h/deleted.gif"), queued);
  EXPECT_EQ(list.Item(*list.FindByURL("http://h/deleted.gif")).LocalName, "deleted.gif");
  EXPECT_EQ(state("http://h/failed.gif"), queued);
  EXPECT_EQ(state("http://h/new.gif"), queued);
  EXPECT_EQ(state("http://h/c%d.gif"), done);
  // A finished page keeps its state and kind: it is not rewritten again.
  EXPECT_EQ(state("http://h/sub.html"), done);
  EXPECT_EQ(list.Item(*list.FindByURL("http://h/sub.html")).Kind, TURLKind::Page);
  EXPECT_EQ(state("http://h/abs.gif"), queued);
  EXPECT_EQ(state("http://h/space.gif"), queued);
  EXPECT_EQ(state("http://h/commented.gif"), -1);
  EXPECT_EQ(state("http://h/no.gif"), -1);
  EXPECT_EQ(state("http://h/after.gif"), queued);
  // The new page does not take the name of the earlier one.
  EXPECT_EQ(list.Item(*list.FindByURL("http://h/other.html")).LocalName, "INDEX.HTML");
}

TEST_F(JobLogTest, AHostileLogReachesNothingOutsideTheFolder) {
  Settings().SetSavePictures(true);
  Settings().SetSkipExisting(true);
  test::TempDir outside;
  outside.Write("secret.html", "<img src=http://evil/x.gif>");
  ASSERT_EQ(::symlink(outside.File("secret.html").c_str(), dest.File("link.html").c_str()), 0);
  WriteLog({Entry("http://h/1.html", "../secret.html", TURLKind::Page, TURLState::Done),
            Entry("http://h/2.html", "link.html", TURLKind::Page, TURLState::Done),
            Entry("http://h/3.html", "INDEX.HTML", TURLKind::Page, TURLState::Done)},
           "partial record");
  dest.Write("INDEX.HTML", "<img src=three.gif>");
  Process().PageURL = "http://h/new.html";

  TURLListMan list;
  list.AddPageAndFrames();
  EXPECT_EQ(list.EarlierRecords.size(), 2u);  // the "../" record is dropped
  EXPECT_FALSE(list.FindByURL("http://h/2.html"));
  EXPECT_FALSE(list.FindByURL("http://evil/x.gif"));
  EXPECT_EQ(list.Item(*list.FindByURL("http://h/3.html")).State, TURLState::Done);
  EXPECT_TRUE(list.FindByURL("http://h/three.gif"));
  // Saving a different page into the folder keeps the earlier INDEX.HTML.
  EXPECT_EQ(list.Item(*list.FindByURL("http://h/new.html")).LocalName, "0INDEX.HTML");
}

TEST_F(JobLogTest, NoLogMeansAPlainJob) {
  Settings().SetSkipExisting(true);
  Process().PageURL = "http://h/";
  TURLListMan list;
  list.AddPageAndFrames();
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_TRUE(list.EarlierRecords.empty());
}

}  // namespace
}  // namespace leafstash
