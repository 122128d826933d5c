// The start switches and the automation server's registry entries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "host/registration.h"
#include "platform/registry/registry.h"
#include "temp_dir.h"

namespace leafstash {
namespace {

TEST(Switches, AreWordsAfterASlashOrMinusInAnyCase) {
  const TSwitches a = ParseSwitches({"/regserver"});
  EXPECT_TRUE(a.RegServer);
  EXPECT_FALSE(a.UnregServer);
  EXPECT_TRUE(ParseSwitches({"-UNREGSERVER"}).UnregServer);
  EXPECT_TRUE(ParseSwitches({"-Embedding"}).Automation);
  EXPECT_TRUE(ParseSwitches({"x", "/AUTOMATION"}).Automation);
  const TSwitches none = ParseSwitches({"regserver", "--regserver", "/regserver2", "\\regserver"});
  EXPECT_FALSE(none.RegServer || none.UnregServer || none.Automation);
}

TEST(Registration, WritesTheEntriesAndRemovesThemAll) {
  test::TempDir dir;
  ::setenv("LEAFSTASH_REGISTRY", dir.File("registry.json").c_str(), 1);
  constexpr auto root = TRegistryRoot::ClassesRoot;
  const std::string clsid = std::string("CLSID\\") + kClassId;
  ASSERT_TRUE(RegisterServer("/opt/leaf stash/bin/leafstash"));
  EXPECT_EQ(RegistryReadText(root, clsid, ""), "LSApp Object");
  EXPECT_EQ(RegistryReadText(root, clsid + "\\LocalServer32", ""), "/opt/leaf stash/bin/leafstash");
  EXPECT_EQ(RegistryReadText(root, "Leafstash.LSApp", ""), "LSApp Object");
  EXPECT_EQ(RegistryReadText(root, "Leafstash.LSApp\\Clsid", ""), kClassId);
  EXPECT_EQ(RegistryReadText(root, clsid + "\\ProgID", ""), "Leafstash.LSApp");
  EXPECT_EQ(RegistryReadText(root, clsid + "\\Version", ""), "1.0");
  EXPECT_EQ(RegistryReadText(root, clsid + "\\TypeLib", ""), kLibraryId);
  EXPECT_FALSE(RegistryReadText(root, clsid, "ThreadingModel"));
  EXPECT_EQ(RegistryReadText(root, std::string("TypeLib\\") + kLibraryId + "\\1.0", ""),
            "Leafstash Library");
  // Written again over what is there.
  ASSERT_TRUE(RegisterServer("/usr/bin/leafstash"));
  EXPECT_EQ(RegistryReadText(root, clsid + "\\LocalServer32", ""), "/usr/bin/leafstash");

  RegistryWriteText(TRegistryRoot::CurrentUser, "Software\\Other", "", "kept");
  UnregisterServer();
  for (const std::string& key : {clsid, clsid + "\\LocalServer32", clsid + "\\ProgID",
                                 clsid + "\\Version", clsid + "\\TypeLib", std::string("Leafstash.LSApp"),
                                 std::string("Leafstash.LSApp\\Clsid"),
                                 std::string("TypeLib\\") + kLibraryId + "\\1.0",
                                 std::string("Interface\\") + kInterfaceId})
    EXPECT_FALSE(RegistryKeyExists(root, key)) << key;
  EXPECT_EQ(RegistryReadText(TRegistryRoot::CurrentUser, "Software\\Other", ""), "kept");

  // A registry that cannot be written.
  dir.Write("file", "");
  ::setenv("LEAFSTASH_REGISTRY", dir.File("file/registry.json").c_str(), 1);
  EXPECT_FALSE(RegisterServer("/usr/bin/leafstash"));
  ::unsetenv("LEAFSTASH_REGISTRY");
}

}  // namespace
}  // namespace leafstash
