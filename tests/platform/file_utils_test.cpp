#include "platform/files/file_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "temp_dir.h"

namespace leafstash {
namespace {

TEST(FileUtils, AtomicWriteReplacesLinksAndSetsPermissions) {
  test::TempDir dir;
  dir.Write("outside", "keep");
  ASSERT_EQ(::symlink(dir.File("outside").c_str(), dir.File("target").c_str()), 0);
  WriteFileAtomically(dir.File("target"), "new", 0600);
  EXPECT_EQ(dir.Read("outside"), "keep");  // the link was replaced, not followed
  EXPECT_EQ(dir.Read("target"), "new");
  struct stat info;
  ASSERT_EQ(::lstat(dir.File("target").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_THROW(WriteFileAtomically(dir.File("no/such/dir"), "x"), TFileError);
}

TEST(FileUtils, ReadsDoNotFollowLinks) {
  test::TempDir dir;
  dir.Write("real", "data");
  ASSERT_EQ(::symlink(dir.File("real").c_str(), dir.File("link").c_str()), 0);
  EXPECT_EQ(ReadFileNoFollow(dir.File("real")), "data");
  EXPECT_EQ(ReadFileNoFollow(dir.File("missing")), std::nullopt);
  EXPECT_THROW(ReadFileNoFollow(dir.File("link")), TFileError);
  EXPECT_THROW(ReadFileNoFollow(dir.Path()), TFileError);
  EXPECT_TRUE(IsRegularFile(dir.File("real")));
  EXPECT_FALSE(IsRegularFile(dir.File("link")));
  EXPECT_TRUE(PathExists(dir.File("link")));
}

}  // namespace
}  // namespace leafstash
