// The program's registry: keys with a default and named text values, kept
// in one JSON file in the user's data folder ($LEAFSTASH_REGISTRY names
// another file, for tests). Key paths use "\" and are compared without
// regard to ASCII case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace leafstash {

enum class TRegistryRoot { ClassesRoot, CurrentUser };

std::string RegistryFilePath();

// The value Name ("" for the default value) of Key, or nothing.
std::optional<std::string> RegistryReadText(TRegistryRoot Root, std::string_view Key,
                                            std::string_view Name);
bool RegistryKeyExists(TRegistryRoot Root, std::string_view Key);
// Create the key as needed; false when the file cannot be written.
bool RegistryWriteText(TRegistryRoot Root, std::string_view Key, std::string_view Name,
                       std::string_view Value);
// Removes the key and its values; true when it is gone.
bool RegistryDeleteKey(TRegistryRoot Root, std::string_view Key);

}  // namespace leafstash
