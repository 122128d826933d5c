#include "core/settings.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/paths.h"
#include "temp_dir.h"

namespace leafstash {
namespace {

std::string Bytes(const TSettings& s, std::size_t Offset, std::size_t Count) {
  return std::string(reinterpret_cast<const char*>(s.Image().data() + Offset), Count);
}

TEST(Settings, EveryFieldAtItsOffset) {
  TSettings s;
  s.SetFolder("/home/ann");
  s.SetUseSubFolder(true);
  s.SetSavePictures(true);
  s.SetLinkColumnWidth(0x01020304);
  s.SetTextColumnWidth(-2);
  s.SetWindowHeight(441);
  s.SetWindowWidth(580);
  s.SetLocalPicturesOnly(true);
  s.SetUseURLFilter(true);
  s.SetURLFilter("ads,banner");
  s.SetSkipExisting(true);
  s.SetAutoSkip(true);
  s.SetSkipSeconds(60);
  s.SetMaxThreads(5);
  s.SetCheckVersion(true);
  s.SetCheckIntervalDays(30);
  s.SetLastCheckDate(1.5);
  s.SetUserName("ann");
  s.SetPassword("pw");
  s.SetLanguage("English");

  EXPECT_EQ(Bytes(s, 68, 10), std::string("\x09/home/ann", 10));
  EXPECT_EQ(Bytes(s, 169, 3), std::string("\x01\x01\x00", 3));
  EXPECT_EQ(Bytes(s, 172, 8), std::string("\x04\x03\x02\x01\xFE\xFF\xFF\xFF", 8));
  EXPECT_EQ(Bytes(s, 180, 8), std::string("\xB9\x01\x00\x00\x44\x02\x00\x00", 8));
  EXPECT_EQ(Bytes(s, 192, 3), std::string("\x01\x01\x0A", 3));
  EXPECT_EQ(Bytes(s, 195, 10), "ads,banner");
  EXPECT_EQ(Bytes(s, 395, 2), std::string("\x01\x01", 2));
  EXPECT_EQ(Bytes(s, 400, 9), std::string("\x3C\0\0\0\x05\0\0\0\x01", 9));
  EXPECT_EQ(Bytes(s, 412, 4), std::string("\x1E\0\0\0", 4));
  EXPECT_EQ(Bytes(s, 416, 8), std::string("\0\0\0\0\0\0\xF8\x3F", 8));
  EXPECT_EQ(Bytes(s, 424, 4), std::string("\x03" "ann", 4));
  EXPECT_EQ(Bytes(s, 475, 3), std::string("\x02pw", 3));
  EXPECT_EQ(Bytes(s, 526, 8), std::string("\x07" "English", 8));
  EXPECT_EQ(s.LastCheckDate(), 1.5);
  EXPECT_EQ(s.TextColumnWidth(), -2);
}

TEST(Settings, TextsAreCutToTheirFieldAndBadLengthsRead) {
  TSettings s;
  s.SetFolder(std::string(150, 'x'));
  EXPECT_EQ(s.Folder(), std::string(100, 'x'));
  // A cut never splits a UTF-8 character: 19 ASCII bytes and one "é".
  s.SetLanguage(std::string(19, 'a') + "\xC3\xA9");
  EXPECT_EQ(s.Language(), std::string(19, 'a'));
  // Length bytes beyond the field read as its maximum, not past the record.
  TSettings::Bytes image{};
  image[526] = 255;
  image[424] = 60;
  s.SetImage(image);
  EXPECT_EQ(s.Language().size(), 20u);
  EXPECT_EQ(s.UserName().size(), 50u);
}

TEST(SettingsFile, MissingEmptyShortAndLongFiles) {
  test::TempDir dir;
  TSettings s;
  s.SetMaxThreads(9);
  LoadSettingsFile(dir.File("lfsta.cfg"), s);  // missing: left as it is
  EXPECT_EQ(s.MaxThreads(), 9);

  dir.Write("lfsta.cfg", std::string(551, '\x07'));
  LoadSettingsFile(dir.File("lfsta.cfg"), s);  // short: all zeros
  EXPECT_EQ(s.Image(), TSettings().Image());

  std::string image(552, '\0');
  image[404] = 3;   // MaxThreads
  image[0] = 'R';   // reserved, kept as read
  image[548] = 'P'; // padding, kept as read
  dir.Write("lfsta.cfg", image + "trailing bytes");
  LoadSettingsFile(dir.File("lfsta.cfg"), s);
  EXPECT_EQ(s.MaxThreads(), 3);
  s.SetSkipSeconds(10);
  ASSERT_TRUE(SaveSettingsFile(dir.File("lfsta.cfg"), s));
  const std::string written = dir.Read("lfsta.cfg");
  ASSERT_EQ(written.size(), 552u);
  EXPECT_EQ(written[0], 'R');
  EXPECT_EQ(written[548], 'P');
  EXPECT_EQ(written[400], 10);
  struct stat info;
  ASSERT_EQ(::stat(dir.File("lfsta.cfg").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);  // it holds a password

  EXPECT_FALSE(SaveSettingsFile(dir.File("missing/lfsta.cfg"), s));
  EXPECT_EQ(dir.Read("lfsta.cfg"), written);
}

}  // namespace
}  // namespace leafstash

namespace leafstash {
namespace {

TEST(ProcessPaths, ABuildKeepsItsFilesBesideItAnInstalledProgramInTheUsersFolder) {
  test::TempDir root;
  const std::string config = root.File("config");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ::unsetenv("LEAFSTASH_CONFIG_DIR");
  std::filesystem::create_directories(root.File("build/LANG"));
  std::filesystem::create_directories(root.File("usr/bin"));
  std::filesystem::create_directories(root.File("usr/share/leafstash/LANG"));

  const TProcessPaths build = FindProcessPaths(root.File("build/leafstash"));
  EXPECT_EQ(build.LangDir, root.File("build/LANG/"));
  EXPECT_EQ(build.SettingsFile, root.File("build/lfsta.cfg"));

  // Installed, in a folder its user may write to (root's /usr/bin).
  const TProcessPaths installed = FindProcessPaths(root.File("usr/bin/leafstash"));
  EXPECT_EQ(installed.LangDir, root.File("usr/bin/../share/leafstash/LANG/"));
  EXPECT_EQ(installed.SettingsFile, config + "/leafstash/lfsta.cfg");
  EXPECT_EQ(installed.VersionFile, config + "/leafstash/lfsta.ver");

  // A new user has no such folder yet: it is made, for the user alone.
  UseProcessPaths(root.File("usr/bin/leafstash"));
  struct stat folder {};
  ASSERT_EQ(::stat((config + "/leafstash").c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace leafstash
