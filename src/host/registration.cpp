#include "host/registration.h"

#include "platform/registry/registry.h"
#include "html/text_utils.h"

namespace leafstash {
namespace {

constexpr TRegistryRoot kRoot = TRegistryRoot::ClassesRoot;
constexpr const char* kClassName = "LSApp Object";
constexpr const char* kLibraryVersion = "1.0";

std::string ClassKey(std::string_view Sub = "") {
  std::string key = std::string("CLSID\\") + kClassId;
  if (!Sub.empty()) key.append("\\").append(Sub);
  return key;
}

std::string LibraryKey() { return std::string("TypeLib\\") + kLibraryId; }
std::string InterfaceKey() { return std::string("Interface\\") + kInterfaceId; }

// The type library: its name and file, and the interface it describes.
bool RegisterTypeLibrary(const std::string& ExePath) {
  const std::string version = LibraryKey() + "\\" + kLibraryVersion;
  return RegistryWriteText(kRoot, version, "", "Leafstash Library") &&
         RegistryWriteText(kRoot, version + "\\0\\linux", "", ExePath) &&
         RegistryWriteText(kRoot, InterfaceKey(), "", "ILSApp") &&
         RegistryWriteText(kRoot, InterfaceKey() + "\\TypeLib", "", kLibraryId);
}

void UnregisterTypeLibrary() {
  const std::string version = LibraryKey() + "\\" + kLibraryVersion;
  RegistryDeleteKey(kRoot, InterfaceKey() + "\\TypeLib");
  RegistryDeleteKey(kRoot, InterfaceKey());
  RegistryDeleteKey(kRoot, version + "\\0\\linux");
  RegistryDeleteKey(kRoot, version);
  RegistryDeleteKey(kRoot, LibraryKey());
}

}  // namespace

bool IsSwitch(std::string_view Item, std::string_view Word) {
  if (Item.empty() || (Item[0] != '/' && Item[0] != '-')) return false;
  return LowerCopy(Item.substr(1)) == LowerCopy(Word);
}

TSwitches ParseSwitches(const std::vector<std::string>& Args) {
  TSwitches switches;
  for (const std::string& item : Args) {
    if (IsSwitch(item, "REGSERVER")) switches.RegServer = true;
    if (IsSwitch(item, "UNREGSERVER")) switches.UnregServer = true;
    if (IsSwitch(item, "AUTOMATION") || IsSwitch(item, "EMBEDDING")) switches.Automation = true;
  }
  return switches;
}

bool RegisterServer(const std::string& ExePath) {
  // A Linux path with blanks has no short form; it is written as it is.
  return RegistryWriteText(kRoot, ClassKey(), "", kClassName) &&
         RegistryWriteText(kRoot, ClassKey("LocalServer32"), "", ExePath) &&
         RegistryWriteText(kRoot, kProgramId, "", kClassName) &&
         RegistryWriteText(kRoot, std::string(kProgramId) + "\\Clsid", "", kClassId) &&
         RegistryWriteText(kRoot, ClassKey("ProgID"), "", kProgramId) &&
         RegistryWriteText(kRoot, ClassKey("Version"), "", kLibraryVersion) &&
         RegistryWriteText(kRoot, ClassKey("TypeLib"), "", kLibraryId) &&
         RegisterTypeLibrary(ExePath);
}

void UnregisterServer() {
  RegistryDeleteKey(kRoot, ClassKey("TypeLib"));
  RegistryDeleteKey(kRoot, ClassKey("Version"));
  RegistryDeleteKey(kRoot, ClassKey("ProgID"));
  RegistryDeleteKey(kRoot, std::string(kProgramId) + "\\Clsid");
  RegistryDeleteKey(kRoot, kProgramId);
  RegistryDeleteKey(kRoot, ClassKey("LocalServer32"));
  RegistryDeleteKey(kRoot, ClassKey());
  UnregisterTypeLibrary();
}

}  // namespace leafstash
