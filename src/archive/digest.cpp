#include "archive/digest.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <stdexcept>

namespace leafstash {

TDigest::TDigest(TKind Kind) : context_(EVP_MD_CTX_new()) {
  if (!context_ ||
      !EVP_DigestInit_ex(context_, Kind == TKind::Sha1 ? EVP_sha1() : EVP_sha256(), nullptr)) {
    EVP_MD_CTX_free(context_);
    throw std::runtime_error("the digest cannot be made");
  }
}

TDigest::~TDigest() { EVP_MD_CTX_free(context_); }

void TDigest::Update(const void* Data, std::size_t Size) {
  if (Size) EVP_DigestUpdate(context_, Data, Size);
}

std::string TDigest::Finish() {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(context_, out, &size);
  return std::string(reinterpret_cast<const char*>(out), size);
}

std::string Base32(std::string_view Bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
  std::string out;
  std::uint64_t buffer = 0;
  int bits = 0;
  for (const unsigned char c : Bytes) {
    buffer = (buffer << 8) | c;
    bits += 8;
    while (bits >= 5) {
      bits -= 5;
      out += kAlphabet[(buffer >> bits) & 31];
    }
  }
  if (bits > 0) out += kAlphabet[(buffer << (5 - bits)) & 31];
  while (out.size() % 8) out += '=';
  return out;
}

std::string HexOf(std::string_view Bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(Bytes.size() * 2);
  for (const unsigned char c : Bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string Sha1Label(std::string_view Bytes) { return "sha1:" + Base32(Bytes); }
std::string Sha256Label(std::string_view Bytes) { return "sha256:" + HexOf(Bytes); }

std::string RandomUuidUrn() {
  unsigned char b[16];
  if (RAND_bytes(b, sizeof b) != 1) throw std::runtime_error("no random bytes");
  b[6] = (b[6] & 0x0F) | 0x40;
  b[8] = (b[8] & 0x3F) | 0x80;
  const std::string hex = HexOf(std::string_view(reinterpret_cast<const char*>(b), sizeof b));
  return "urn:uuid:" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20);
}

}  // namespace leafstash
