// The records of a WARC file, each compressed as a gzip member of its own
// so that a reader can start at any record: written to a work file as the
// job goes, with the place of each and the digest of the whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/digest.h"
#include "archive/spool.h"

namespace leafstash {

using TWarcFields = std::vector<std::pair<std::string, std::string>>;

// The head of a WARC 1.1 record: version line, Fields in order, the
// content length, and the blank line. Line breaks in values become blanks.
std::string WarcHead(const TWarcFields& Fields, std::uint64_t ContentLength);

// Where a record stands in the file.
struct TRecordPlace {
  std::uint64_t Offset = 0;
  std::uint64_t Length = 0;
};

class TWarcWriter {
 public:
  // Writes into Fd, which it owns, from its start.
  explicit TWarcWriter(int Fd);
  ~TWarcWriter();
  TWarcWriter(const TWarcWriter&) = delete;
  TWarcWriter& operator=(const TWarcWriter&) = delete;

  // One record: Head, then the block (Block, followed by Body when given),
  // then the two line breaks that end a record. Level: the deflate level
  // (0 for bodies that are compressed already). False with the reason in
  // Why; the file is then of no use.
  bool Write(const std::string& Head, std::string_view Block, const TSpool* Body, int Level,
             TRecordPlace& Place, std::string& Why);

  int Fd() const { return fd_; }
  std::uint64_t Size() const { return size_; }
  // The sha256 of every byte written; the writer takes no more records.
  std::string FinishSha256() { return sha256_.Finish(); }

 private:
  bool Put(const char* Data, std::size_t Size, std::string& Why);
  bool Deflate(std::string_view Data, int Flush, std::string& Why);

  int fd_;
  std::uint64_t size_ = 0;
  TDigest sha256_{TDigest::TKind::Sha256};
  struct TStream;
  TStream* stream_ = nullptr;
  std::vector<char> out_;
};

}  // namespace leafstash
