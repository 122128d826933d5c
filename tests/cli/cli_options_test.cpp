// The arguments of `leafstash save` and the options record they give.
#include <gtest/gtest.h>

#include "cli/cli_options.h"

namespace leafstash {
namespace {

TEST(CliOptions, OperandsAndOptionsInAnyOrder) {
  const TCliParse parse = ParseSaveArguments(
      {"--threads", "7", "http://h/", "--link=http://h/a", "out", "--link", "http://h/b",
       "--timeout=0", "--user", "ann", "--filter", "ads, track", "--internal-links", "--all-links"});
  ASSERT_TRUE(parse.Options) << parse.Error;
  const TCliOptions& o = *parse.Options;
  EXPECT_EQ(o.Url, "http://h/");
  EXPECT_EQ(o.Folder, "out");
  EXPECT_EQ(o.Threads, 7);
  EXPECT_EQ(o.TimeoutSeconds, 0);
  EXPECT_EQ(o.User, "ann");
  EXPECT_EQ(o.Filter, "ads, track");
  EXPECT_EQ(o.Links, (std::vector<std::string>{"http://h/a", "http://h/b"}));
  EXPECT_EQ(o.TakeLinks, TLinkChoice::Internal);  // Internal narrows All, in either order
  // "--" ends the options: a folder may begin with "-".
  const TCliParse dashed = ParseSaveArguments({"--", "http://h/", "-odd"});
  ASSERT_TRUE(dashed.Options);
  EXPECT_EQ(dashed.Options->Folder, "-odd");
  EXPECT_FALSE(ParseSaveArguments({"--threads"}).Options);  // a value is missing
  EXPECT_FALSE(ParseSaveArguments({"--filter", std::string(201, 'x'), "http://h/"}).Options);
  EXPECT_FALSE(ParseSaveArguments({"--user", std::string(51, 'x'), "http://h/"}).Options);
}

TEST(CliOptions, StoredValuesThenTheCommandLine) {
  // Nothing stored: the start window's defaults.
  TSettings fresh;
  ApplyCliOptions(TCliOptions{}, fresh);
  EXPECT_TRUE(fresh.SavePictures());
  EXPECT_TRUE(fresh.AutoSkip());
  EXPECT_EQ(fresh.SkipSeconds(), 60);
  EXPECT_EQ(fresh.MaxThreads(), 5);

  TSettings stored;
  stored.SetAutoSkip(false);
  stored.SetSkipSeconds(30);
  stored.SetMaxThreads(2);
  stored.SetSkipExisting(true);
  stored.SetUserName("kept");
  TSettings a = stored;
  ApplyCliOptions(TCliOptions{}, a);
  EXPECT_FALSE(a.AutoSkip());
  EXPECT_EQ(a.SkipSeconds(), 30);
  EXPECT_EQ(a.MaxThreads(), 2);
  EXPECT_TRUE(a.SkipExisting());
  EXPECT_EQ(a.UserName(), "kept");

  TCliOptions given;
  given.NoPictures = true;
  given.SameSitePictures = true;
  given.TimeoutSeconds = 9;
  given.Threads = 100;
  given.Filter = "ads";
  given.User = "ann";
  TSettings b = stored;
  ApplyCliOptions(given, b);
  EXPECT_FALSE(b.SavePictures());
  EXPECT_TRUE(b.LocalPicturesOnly());
  EXPECT_TRUE(b.AutoSkip());
  EXPECT_EQ(b.SkipSeconds(), 9);
  EXPECT_EQ(b.MaxThreads(), 100);
  EXPECT_TRUE(b.UseURLFilter());
  EXPECT_EQ(b.URLFilter(), "ads");
  EXPECT_EQ(b.UserName(), "ann");

  given.TimeoutSeconds = 0;  // no time-out at all
  ApplyCliOptions(given, b);
  EXPECT_FALSE(b.AutoSkip());
}

}  // namespace
}  // namespace leafstash
