// Compressing test bodies with zlib.
#pragma once

#include <string>
#include <zlib.h>

namespace leafstash::test {

// Data compressed at the best level with the given window bits: 15 zlib,
// -15 raw deflate, 31 gzip.
inline std::string Compress(const std::string& Data, int WindowBits = 31) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, WindowBits, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, Data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
  z.avail_in = static_cast<uInt>(Data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace leafstash::test
