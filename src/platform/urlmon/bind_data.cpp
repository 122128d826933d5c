#include "platform/urlmon/bind_data.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

#include "html/text_utils.h"

namespace leafstash {
namespace {

// A body that decodes to more than this many times its wire size is
// stopped once more than kExpansionFloor bytes have come out of it.
constexpr std::uint64_t kMaxExpansion = 1000;
constexpr std::uint64_t kExpansionFloor = 1u << 20;

}  // namespace

struct BindData::Inflater {
  z_stream stream{};
  bool deflate = false;     // "deflate": zlib data, or raw deflate data
  bool producedAny = false;
  bool triedRaw = false;
  bool memberEnded = false;  // a gzip member ended; another may follow
  bool outputOwed = false;   // the last call filled its block: more may come without input
  bool ended = false;
  std::uint64_t consumed = 0;  // wire bytes taken in

  explicit Inflater(bool Deflate) : deflate(Deflate) {
    // 15 + 32: a zlib or a gzip header, whichever comes.
    inflateInit2(&stream, 15 + 32);
  }
  ~Inflater() { inflateEnd(&stream); }
  // Servers that send raw deflate data for "deflate" exist; the first bytes
  // tell.
  void SwitchToRaw() {
    inflateEnd(&stream);
    stream = z_stream{};
    inflateInit2(&stream, -15);
  }
};

BindData::BindData() = default;
BindData::~BindData() = default;

void BindData::Reset() {
  bytes_.clear();
  readPos_ = 0;
  arrived_ = 0;
  raw_.clear();
  rawPos_ = 0;
  inflater_.reset();
  failure_ = S_OK;
}

void BindData::SetCoding(std::string_view ContentEncoding) {
  const std::string coding = LowerCopy(TrimView(ContentEncoding));
  if (coding == "gzip" || coding == "x-gzip")
    inflater_ = std::make_unique<Inflater>(false);
  else if (coding == "deflate")
    inflater_ = std::make_unique<Inflater>(true);
}

void BindData::Keep(const char* Data, std::size_t Size) {
  // What was read goes first, so the text does not grow without end.
  if (readPos_ > 0 && readPos_ == bytes_.size()) {
    bytes_.clear();
    readPos_ = 0;
  } else if (readPos_ > (1u << 20) && readPos_ * 2 > bytes_.size()) {
    bytes_.erase(0, readPos_);
    readPos_ = 0;
  }
  bytes_.append(Data, Size);
  arrived_ += Size;
}

void BindData::Append(const char* Data, std::size_t Size) {
  if (!inflater_) return Keep(Data, Size);
  if (inflater_->ended) return;  // what follows the compressed data is not part of it
  // Deflate data is kept from its first byte until it has given some
  // output: it may have to be read again as raw deflate data.
  const bool mayReread = inflater_->deflate && !inflater_->producedAny && !inflater_->triedRaw;
  if (rawPos_ > 0 && rawPos_ == raw_.size() && !mayReread) {
    raw_.clear();
    rawPos_ = 0;
  }
  raw_.append(Data, Size);
}

bool BindData::CanDecode() const {
  return inflater_ && !inflater_->ended && failure_ == S_OK &&
         (rawPos_ < raw_.size() || inflater_->outputOwed);
}

bool BindData::Complete() const {
  return !inflater_ || inflater_->ended || inflater_->memberEnded;
}

bool BindData::Decode(std::size_t Limit) {
  if (failure_ != S_OK) return false;
  if (!CanDecode()) return true;
  Inflater& z = *inflater_;
  char out[64 * 1024];
  std::size_t produced = 0;
  while (produced < Limit && (rawPos_ < raw_.size() || z.outputOwed) && !z.ended) {
    if (z.memberEnded) {
      // A gzip body may hold several members one after another; anything
      // else after the data is not part of it.
      if (static_cast<unsigned char>(raw_[rawPos_]) != 0x1f) {
        z.ended = true;
        break;
      }
      z.memberEnded = false;
    }
    z.stream.next_in = reinterpret_cast<Bytef*>(raw_.data() + rawPos_);
    z.stream.avail_in = static_cast<uInt>(std::min<std::size_t>(raw_.size() - rawPos_, 1u << 30));
    z.stream.next_out = reinterpret_cast<Bytef*>(out);
    z.stream.avail_out = static_cast<uInt>(std::min(sizeof out, Limit - produced));
    const uInt before = z.stream.avail_in;
    int status = inflate(&z.stream, Z_NO_FLUSH);
    if (status == Z_DATA_ERROR && z.deflate && !z.producedAny && !z.triedRaw) {
      // Read again from the first byte, as raw deflate data.
      z.SwitchToRaw();
      z.triedRaw = true;
      z.consumed = 0;
      rawPos_ = 0;
      continue;
    }
    const std::size_t taken = before - z.stream.avail_in;
    const std::size_t made = reinterpret_cast<char*>(z.stream.next_out) - out;
    z.outputOwed = status == Z_OK && z.stream.avail_out == 0;
    rawPos_ += taken;
    z.consumed += taken;
    if (made) {
      z.producedAny = true;
      Keep(out, made);
      produced += made;
    }
    if (status == Z_STREAM_END) {
      if (z.deflate) {
        z.ended = true;
      } else {
        inflateReset(&z.stream);
        z.memberEnded = true;
      }
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
      failure_ = INET_E_DOWNLOAD_FAILURE;  // not what the encoding says
      return false;
    }
    if (arrived_ > kExpansionFloor && arrived_ / kMaxExpansion > z.consumed) {
      failure_ = E_FILE_TOO_LARGE;
      return false;
    }
    if (!taken && !made) {
      if (rawPos_ == raw_.size()) break;  // nothing was owed after all: wait for input
      failure_ = INET_E_DOWNLOAD_FAILURE;  // the decoder can go no further
      return false;
    }
  }
  return true;
}

std::size_t BindData::Read(void* Buffer, std::size_t Size) {
  const std::size_t n = std::min(Size, Unread());
  if (n) std::memcpy(Buffer, bytes_.data() + readPos_, n);
  readPos_ += n;
  return n;
}

}  // namespace leafstash
