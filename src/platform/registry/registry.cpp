#include "platform/registry/registry.h"

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/files/file_utils.h"
#include "html/text_utils.h"

namespace leafstash {
namespace {

using nlohmann::json;

const char* RootName(TRegistryRoot Root) {
  return Root == TRegistryRoot::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

// "\Software\X\" and "software\x" name the same key.
std::string KeyName(std::string_view Key) {
  std::string_view k = Key;
  while (!k.empty() && k.front() == '\\') k.remove_prefix(1);
  while (!k.empty() && k.back() == '\\') k.remove_suffix(1);
  return LowerCopy(k);
}

json Load() {
  try {
    const std::optional<std::string> text = ReadFileNoFollow(RegistryFilePath());
    if (!text) return json::object();
    json data = json::parse(*text);
    return data.is_object() ? data : json::object();
  } catch (const std::exception&) {
    return json::object();
  }
}

bool Save(const json& Data) {
  try {
    const std::filesystem::path path(RegistryFilePath());
    std::filesystem::create_directories(path.parent_path());
    WriteFileAtomically(path.string(), Data.dump(1), 0600);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

const json* FindKey(const json& Data, TRegistryRoot Root, std::string_view Key) {
  auto root = Data.find(RootName(Root));
  if (root == Data.end() || !root->is_object()) return nullptr;
  auto key = root->find(KeyName(Key));
  if (key == root->end() || !key->is_object()) return nullptr;
  return &*key;
}

}  // namespace

std::string RegistryFilePath() {
  if (const char* path = std::getenv("LEAFSTASH_REGISTRY"); path && *path) return path;
  return UserFolder("XDG_DATA_HOME", ".local/share") + "leafstash/registry.json";
}

std::optional<std::string> RegistryReadText(TRegistryRoot Root, std::string_view Key,
                                            std::string_view Name) {
  const json data = Load();
  const json* key = FindKey(data, Root, Key);
  if (!key) return std::nullopt;
  auto value = key->find(LowerCopy(Name));
  if (value == key->end() || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

bool RegistryKeyExists(TRegistryRoot Root, std::string_view Key) {
  return FindKey(Load(), Root, Key) != nullptr;
}

bool RegistryWriteText(TRegistryRoot Root, std::string_view Key, std::string_view Name,
                       std::string_view Value) {
  json data = Load();
  json& root = data[RootName(Root)];
  if (!root.is_object()) root = json::object();
  json& key = root[KeyName(Key)];
  if (!key.is_object()) key = json::object();
  key[LowerCopy(Name)] = std::string(Value);
  return Save(data);
}

bool RegistryDeleteKey(TRegistryRoot Root, std::string_view Key) {
  json data = Load();
  auto root = data.find(RootName(Root));
  if (root == data.end() || !root->is_object()) return true;
  if (root->erase(KeyName(Key)) == 0) return true;
  return Save(data);
}

}  // namespace leafstash
