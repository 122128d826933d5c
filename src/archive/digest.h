// Digests over libcrypto, fed a block at a time, and the ways archives
// write them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace leafstash {

class TDigest {
 public:
  enum class TKind { Sha1, Sha256 };
  explicit TDigest(TKind Kind);
  ~TDigest();
  TDigest(const TDigest&) = delete;
  TDigest& operator=(const TDigest&) = delete;

  void Update(const void* Data, std::size_t Size);
  void Update(std::string_view Data) { Update(Data.data(), Data.size()); }
  // The digest's bytes; the object is spent.
  std::string Finish();

 private:
  evp_md_ctx_st* context_;
};

// RFC 4648 base 32 (upper case, padded), as WARC digests are written.
std::string Base32(std::string_view Bytes);
std::string HexOf(std::string_view Bytes);
// "sha1:<base 32>" and "sha256:<hex>".
std::string Sha1Label(std::string_view Bytes);
std::string Sha256Label(std::string_view Bytes);
// Random bytes from libcrypto's generator, as a URN of a version 4 UUID.
std::string RandomUuidUrn();

}  // namespace leafstash
