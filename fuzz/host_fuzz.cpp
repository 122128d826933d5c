// Feeds arbitrary bytes to the native messaging framing, the page snapshot
// reader and the answers: a browser's messages must never crash the host,
// hang it, or make it answer anything but valid JSON under 1 MiB.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "host/framing.h"
#include "host/page_snapshot.h"

using namespace leafstash;

namespace {

// Hands the items of a collection (Length, Item) to Read, the first 1000.
template <typename ReadItem>
void EachItem(const Variant& Collection, ReadItem Read) {
  const std::int64_t count = Collection.Get("Length").ToInteger();
  for (std::int64_t i = 0; i < count && i < 1000; ++i) Read(Collection.Invoke("Item", {Variant(i)}));
}

// Reads what the page capture reads, each member on its own.
void ReadWindow(const Variant& Window) {
  const auto read = [](auto&& Step) {
    try {
      Step();
    } catch (const AutomationError&) {
    }
  };
  read([&] { (void)Window.Get("parent").Get("document").Get("Url").ToText(); });
  read([&] { (void)Window.Get("parent").Get("document").Get("Title").ToText(); });
  read([&] { (void)Window.Get("document").Get("URL").ToText(); });
  read([&] {
    (void)Window.Get("document").Get("selection").Invoke("createRange").Get("HtmlText").ToText();
  });
  read([&] {
    EachItem(Window.Get("document").Get("Links"), [&](const Variant& Link) {
      read([&] { (void)Link.Get("href").ToText(); });
      read([&] { (void)Link.Get("innerText").ToText(); });
    });
  });
  read([&] {
    EachItem(Window.Get("parent").Get("frames"), [&](const Variant& Frame) {
      read([&] { (void)Frame.Get("location").ToText(); });
      read([&] { (void)Frame.Get("document").Get("Title").ToText(); });
    });
  });
}

void Serve(std::string_view Request) {
  std::string why;
  try {
    ReadWindow(BuildWindowFromSnapshot(Request));
  } catch (const SnapshotError& e) {
    why = e.what();
  }
  const std::string answer = EncodeAnswer(E_INVALIDARG, why.empty() ? Request : why);
  if (answer.size() >= kMaxAnswerBytes || !nlohmann::json::accept(answer)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  // The first byte sets how the bytes arrive; the rest is the stream.
  const std::size_t piece = Data[0] % 31 + 1;
  const std::string_view stream(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  TFrameReader reader(1 << 16);
  std::string message;
  TFrameStatus status = TFrameStatus::Pending;
  for (std::size_t at = 0; at < stream.size() && status == TFrameStatus::Pending; at += piece) {
    const std::string_view part = stream.substr(at, piece);
    reader.Feed(part.data(), part.size());
    while ((status = reader.Next(message)) == TFrameStatus::Message) Serve(message);
  }
  if (status == TFrameStatus::Pending) status = reader.Next(message, true);
  // The same bytes as one message, as the program reads them.
  Serve(stream);
  return 0;
}
