#include "core/language.h"

#include <cstdlib>
#include <gtest/gtest.h>

#include "temp_dir.h"

namespace leafstash {
namespace {

TEST(LanguageFile, KeysValuesAndLineEnds) {
  const TLanguageFile file = TLanguageFile::FromText(
      "btnStart=Start\r\nBTNSTART=second\rbtnExit =Exit\nSaveWPStr=a=b \r\n"
      "no equals sign\r\n=empty key\r\nlblAuthUser=");
  EXPECT_EQ(file.Value("btnstart"), "Start");      // first line wins, case ignored
  EXPECT_EQ(file.Value("btnExit"), "");            // the blank is part of the key
  EXPECT_EQ(file.Value("btnExit "), "Exit");
  EXPECT_EQ(file.Value("SaveWPStr"), "a=b ");      // only the first "=" separates
  EXPECT_EQ(file.Value(""), "empty key");
  EXPECT_EQ(file.Value("lblAuthUser"), "");
  EXPECT_EQ(file.Value("missing"), "");
}

TEST(LanguageFile, SharedTextsAndHomePage) {
  test::TempDir dir;
  dir.Write("English.lng",
            "SaveWPStr=Saving\r\nByteRecStr=bytes\r\nFileRecStr=files\r\n"
            "btnAbortStr=Abort\r\nlblAuthTitle=Log in\r\nlblAuthUser=User\r\n"
            "lblAuthPass=Password\r\nLfStaSiteEng=http://en.example/\r\n"
            "LfStaSiteRus=http://ru.example/\r\n");
  TSharedTexts texts;
  ApplySharedTexts(TLanguageFile::Load(dir.File("English.lng")), texts);
  EXPECT_EQ(texts.SaveWPStr + "|" + texts.ByteRecStr + "|" + texts.FileRecStr + "|" +
                texts.btnAbortStr,
            "Saving|bytes|files|Abort");
  EXPECT_EQ(texts.lblAuthTitle + "|" + texts.lblAuthUser + "|" + texts.lblAuthPass,
            "Log in|User|Password");
  EXPECT_EQ(SiteURLFor("Russian", texts), "http://ru.example/");
  EXPECT_EQ(SiteURLFor("russian", texts), "http://en.example/");
  EXPECT_EQ(SiteURLFor("German", texts), "http://en.example/");

  try {
    TLanguageFile::Load(dir.File("Klingon.lng"));
    FAIL();
  } catch (const TLanguageError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.File("Klingon.lng"));
  }
}

TEST(SystemLanguage, FollowsTheLocale) {
  const char* saved[3] = {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")};
  const std::string keep[3] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "",
                               saved[2] ? saved[2] : ""};
  ::unsetenv("LC_ALL");
  ::setenv("LC_MESSAGES", "", 1);
  ::setenv("LANG", "ru_RU.UTF-8", 1);
  EXPECT_EQ(SystemLanguageId(), 1049);
  ::setenv("LC_MESSAGES", "uk_UA", 1);
  EXPECT_EQ(SystemLanguageId(), 1058);
  ::setenv("LC_ALL", "be_BY@latin", 1);
  EXPECT_TRUE(IsRussianSystem());
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(SystemLanguageId(), 0);
  EXPECT_FALSE(IsRussianSystem());
  const char* names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (int k = 0; k < 3; ++k) {
    if (saved[k]) ::setenv(names[k], keep[k].c_str(), 1);
    else ::unsetenv(names[k]);
  }
}

}  // namespace
}  // namespace leafstash
