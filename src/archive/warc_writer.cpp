#include "archive/warc_writer.h"

#include <unistd.h>
#include <zlib.h>

#include "archive/raw_file.h"

namespace leafstash {

struct TWarcWriter::TStream {
  z_stream z{};
};

std::string WarcHead(const TWarcFields& Fields, std::uint64_t ContentLength) {
  std::string head = "WARC/1.1\r\n";
  for (const auto& [name, value] : Fields) {
    head += name;
    head += ": ";
    for (const char c : value) head += (c == '\r' || c == '\n') ? ' ' : c;
    head += "\r\n";
  }
  head += "Content-Length: " + std::to_string(ContentLength) + "\r\n\r\n";
  return head;
}

TWarcWriter::TWarcWriter(int Fd) : fd_(Fd), stream_(new TStream), out_(256u << 10) {}

TWarcWriter::~TWarcWriter() {
  delete stream_;
  if (fd_ >= 0) ::close(fd_);
}

bool TWarcWriter::Put(const char* Data, std::size_t Size, std::string& Why) {
  if (!WriteAll(fd_, Data, Size, Why)) return false;
  sha256_.Update(Data, Size);
  size_ += Size;
  return true;
}

bool TWarcWriter::Deflate(std::string_view Data, int Flush, std::string& Why) {
  z_stream& z = stream_->z;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
  z.avail_in = static_cast<uInt>(Data.size());
  int result = Z_OK;
  do {
    z.next_out = reinterpret_cast<Bytef*>(out_.data());
    z.avail_out = static_cast<uInt>(out_.size());
    result = deflate(&z, Flush);
    if (result == Z_STREAM_ERROR) {
      Why = "the record cannot be compressed";
      return false;
    }
    const std::size_t made = out_.size() - z.avail_out;
    if (made && !Put(out_.data(), made, Why)) return false;
  } while (z.avail_out == 0 || (Flush == Z_FINISH && result != Z_STREAM_END));
  return true;
}

bool TWarcWriter::Write(const std::string& Head, std::string_view Block, const TSpool* Body,
                        int Level, TRecordPlace& Place, std::string& Why) {
  Place.Offset = size_;
  z_stream& z = stream_->z;
  z = z_stream{};
  // 15 + 16: a gzip member rather than a bare zlib stream.
  if (deflateInit2(&z, Level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    Why = "the record cannot be compressed";
    return false;
  }
  bool ok = Deflate(Head, Z_NO_FLUSH, Why) && Deflate(Block, Z_NO_FLUSH, Why);
  if (ok && Body) {
    std::string readWhy;
    const bool read = Body->ReadAll(
        [&](std::string_view Part) {
          if (ok) ok = Deflate(Part, Z_NO_FLUSH, Why);
        },
        readWhy);
    if (!read) {
      ok = false;
      Why = readWhy;
    }
  }
  ok = ok && Deflate("\r\n\r\n", Z_FINISH, Why);
  deflateEnd(&z);
  Place.Length = size_ - Place.Offset;
  return ok;
}

}  // namespace leafstash
