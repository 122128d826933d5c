// A temporary folder for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace leafstash::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "leafstash-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder with a closing "/".
  std::string Path() const { return path_ + "/"; }
  std::string File(const std::string& Name) const { return Path() + Name; }

  void Write(const std::string& Name, const std::string& Data) const {
    std::ofstream(File(Name), std::ios::binary) << Data;
  }
  std::string Read(const std::string& Name) const {
    std::ifstream in(File(Name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
};

}  // namespace leafstash::test
