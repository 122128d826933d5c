// Decoding compressed bodies a block at a time.
#include <gtest/gtest.h>

#include "platform/urlmon/bind_data.h"
#include "compress.h"

namespace leafstash {
namespace {

using test::Compress;

// Feeds Wire in pieces of Piece bytes and reads everything decoded, in
// blocks of at most Limit bytes.
std::string DecodeAll(BindData& Data, const std::string& Wire, std::size_t Piece, bool& Ok,
                      std::size_t Limit = 700) {
  std::string out;
  char buffer[1000];
  Ok = true;
  for (std::size_t at = 0; at < Wire.size() && Ok; at += Piece) {
    Data.Append(Wire.data() + at, std::min(Piece, Wire.size() - at));
    while (Ok && (Data.CanDecode() || Data.Unread())) {
      Ok = Data.Decode(Limit);
      while (std::size_t n = Data.Read(buffer, sizeof buffer)) out.append(buffer, n);
      if (!Data.CanDecode()) break;
    }
  }
  return out;
}

std::string Text(std::size_t Size) {
  std::string text;
  unsigned seed = 7;
  while (text.size() < Size) {
    seed = seed * 1103515245 + 12345;
    text += static_cast<char>('a' + (seed >> 16) % 26);
    if (seed % 7 == 0) text += ' ';
  }
  return text;
}

TEST(BindData, EveryEncodingInAnyPieces) {
  const std::string text = Text(50000);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"gzip", Compress(text, 31)},
      {"x-gzip", Compress(text.substr(0, 20000), 31) + Compress(text.substr(20000), 31)},  // two members
      {"deflate", Compress(text, 15)},
      {"Deflate", Compress(text, -15)},  // raw deflate data, as some servers send
      {"identity", text},
      {"br", text},  // not decoded: kept as it came
  };
  for (const auto& [coding, wire] : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{333}, wire.size()}) {
      for (std::size_t limit : {std::size_t{1}, std::size_t{700}, std::size_t{65536}}) {
        BindData data;
        data.SetCoding(coding);
        bool ok = false;
        EXPECT_TRUE(DecodeAll(data, wire, piece, ok, limit) == text) << coding << " " << piece << " " << limit;
        EXPECT_TRUE(ok) << coding;
        EXPECT_TRUE(data.Complete()) << coding;
      }
    }
  }
  // What follows the end of the compressed data is not part of it.
  BindData trailing;
  trailing.SetCoding("deflate");
  bool ok = false;
  EXPECT_TRUE(DecodeAll(trailing, Compress(text, 15) + "garbage", 4096, ok) == text);
  EXPECT_TRUE(ok);
}

TEST(BindData, CorruptAndExplodingBodiesFail) {
  BindData corrupt;
  corrupt.SetCoding("gzip");
  bool ok = true;
  std::string wire = Compress(Text(10000), 31);
  wire[wire.size() / 2] ^= 0x55;
  DecodeAll(corrupt, wire, 100, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(corrupt.Failure(), INET_E_DOWNLOAD_FAILURE);

  // 8 MiB of zeros come from about 8 KiB: stopped past the first MiB, held
  // decoded bytes never above a block.
  BindData bomb;
  bomb.SetCoding("gzip");
  const std::string zeros = Compress(std::string(8u << 20, '\0'), 31);
  bomb.Append(zeros.data(), zeros.size());
  char sink[4096];
  while (bomb.Decode(256 * 1024)) {
    EXPECT_LE(bomb.Unread(), 256u * 1024);
    while (bomb.Read(sink, sizeof sink)) {}
    if (!bomb.CanDecode()) break;
  }
  EXPECT_EQ(bomb.Failure(), E_FILE_TOO_LARGE);
  EXPECT_LT(bomb.Arrived(), 8u << 20);
}

}  // namespace
}  // namespace leafstash
