// The command-line switches of a start and the automation server's entries
// in the program's registry: the class LSApp, its program identifier
// Leafstash.LSApp and the type library Leafstash.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace leafstash {

// Fixed identifiers: they never change between runs or versions.
inline constexpr const char* kLibraryId = "{6D1F3A52-8C4B-4E7A-9B21-5F0C3E8A7D14}";
inline constexpr const char* kInterfaceId = "{2A9E4C71-3B5D-4F86-A0C2-7E1D9B4F6A33}";
inline constexpr const char* kClassId = "{B47C2E19-6A3F-4D58-8E91-0F2A5C7D3B86}";
inline constexpr const char* kProgramId = "Leafstash.LSApp";

struct TSwitches {
  bool RegServer = false;
  bool UnregServer = false;
  bool Automation = false;  // "AUTOMATION" or "EMBEDDING"
};

// True when Item is "/" or "-" followed by Word, in any letter case.
bool IsSwitch(std::string_view Item, std::string_view Word);
TSwitches ParseSwitches(const std::vector<std::string>& Args);

// Writes the class, program identifier and type library entries for the
// executable at ExePath; false when the registry cannot be written.
bool RegisterServer(const std::string& ExePath);
// Removes them, the type library registration last.
void UnregisterServer();

}  // namespace leafstash
