// The body of one exchange while it arrives: in memory while it is small,
// in a nameless file of the archive's folder once it is not, so that a
// large body costs a block of memory, not its size.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace leafstash {

class TSpool {
 public:
  // Folder: where a large body goes. Budget: the bytes all spools of an
  // archive may hold in memory together.
  TSpool(std::string Folder, std::atomic<std::uint64_t>& Budget);
  ~TSpool();
  TSpool(const TSpool&) = delete;
  TSpool& operator=(const TSpool&) = delete;

  // False (with errno's text in Why) when the file cannot take the bytes.
  bool Append(const char* Data, std::size_t Size, std::string& Why);
  std::uint64_t Size() const { return size_; }
  // Hands the bytes over in order, a block at a time; false when they
  // cannot be read back.
  bool ReadAll(const std::function<void(std::string_view)>& Block, std::string& Why) const;

 private:
  static constexpr std::size_t kMemoryMax = 1u << 20;
  static constexpr std::uint64_t kMemoryBudget = 32u << 20;
  bool ToFile(std::string& Why);

  std::string folder_;
  std::atomic<std::uint64_t>& budget_;
  std::string memory_;
  std::uint64_t counted_ = 0;  // of the budget
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace leafstash
