#include "engine/single_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/link_rewriter.h"
#include "html/page_refs.h"
#include "html/tag_reader.h"
#include "html/text_utils.h"
#include "html/url_utils.h"
#include "platform/files/file_utils.h"

namespace leafstash {
namespace {

// How deep frames in frames and sheets importing sheets are followed.
constexpr int kMaxDepth = 8;

// Where the bytes of the copy go; each layer writes into the one below.
class TOut {
 public:
  virtual ~TOut() = default;
  virtual void Put(std::string_view Bytes) = 0;
};

// The file, written in large blocks; the first error is kept.
class TFileOut final : public TOut {
 public:
  explicit TFileOut(int Fd) : fd_(Fd) { buffer_.reserve(kBlock); }
  void Put(std::string_view Bytes) override {
    if (!error_.empty()) return;
    if (buffer_.size() + Bytes.size() > kBlock) Flush();
    if (Bytes.size() >= kBlock)
      Write(Bytes);
    else
      buffer_.append(Bytes);
  }
  void Flush() {
    Write(buffer_);
    buffer_.clear();
  }
  const std::string& Error() const { return error_; }

 private:
  static constexpr std::size_t kBlock = 256u << 10;
  void Write(std::string_view Bytes) {
    while (error_.empty() && !Bytes.empty()) {
      const ssize_t put = ::write(fd_, Bytes.data(), Bytes.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) error_ = std::strerror(put < 0 ? errno : ENOSPC);
      else Bytes.remove_prefix(static_cast<std::size_t>(put));
    }
  }
  int fd_;
  std::string buffer_;
  std::string error_;
};

// An attribute value in double quotes: "&" and the quote as references.
class TAttributeOut final : public TOut {
 public:
  explicit TAttributeOut(TOut& Inner) : inner_(Inner) {}
  void Put(std::string_view Bytes) override {
    std::size_t from = 0;
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
      const char* reference = Bytes[i] == '&' ? "&amp;" : Bytes[i] == '"' ? "&quot;" : nullptr;
      if (!reference) continue;
      inner_.Put(Bytes.substr(from, i - from));
      inner_.Put(reference);
      from = i + 1;
    }
    inner_.Put(Bytes.substr(from));
  }

 private:
  TOut& inner_;
};

// Base 64, three bytes at a time as they come; Close writes the rest.
class TBase64Out final : public TOut {
 public:
  explicit TBase64Out(TOut& Inner) : inner_(Inner) {}
  void Put(std::string_view Bytes) override {
    pending_.append(Bytes);
    const std::size_t whole = pending_.size() / 3 * 3;
    if (whole >= kGroup) {
      Encode(std::string_view(pending_).substr(0, whole));
      pending_.erase(0, whole);
    }
  }
  void Close() {
    Encode(pending_);
    pending_.clear();
  }

 private:
  static constexpr std::size_t kGroup = 48u << 10;
  void Encode(std::string_view Bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((Bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= Bytes.size(); i += 3) {
      const auto a = static_cast<unsigned char>(Bytes[i]), b = static_cast<unsigned char>(Bytes[i + 1]),
                 c = static_cast<unsigned char>(Bytes[i + 2]);
      out += kDigits[a >> 2];
      out += kDigits[((a & 3) << 4) | (b >> 4)];
      out += kDigits[((b & 15) << 2) | (c >> 6)];
      out += kDigits[c & 63];
    }
    if (i < Bytes.size()) {
      const auto a = static_cast<unsigned char>(Bytes[i]);
      const auto b = i + 1 < Bytes.size() ? static_cast<unsigned char>(Bytes[i + 1]) : 0;
      out += kDigits[a >> 2];
      out += kDigits[((a & 3) << 4) | (b >> 4)];
      out += i + 1 < Bytes.size() ? kDigits[(b & 15) << 2] : '=';
      out += '=';
    }
    inner_.Put(out);
  }
  TOut& inner_;
  std::string pending_;
};

// The start tags of a page, with their attributes.
struct TTag {
  std::size_t Start = 0;  // at "<"
  std::size_t End = 0;    // after ">"
  std::string Name;       // lower case
  std::vector<TTagAttribute> Attributes;

  const TTagAttribute* Attribute(std::string_view Name) const {
    for (const TTagAttribute& a : Attributes)
      if (a.Name == Name) return &a;
    return nullptr;
  }
};

std::vector<TTag> TagsOf(std::string_view Text) {
  std::vector<TTag> tags;
  WalkTags(
      Text,
      [&](std::size_t P) {
        TTag tag;
        tag.Start = P - 1;
        const std::size_t nameEnd = TagNameEnd(Text, P);
        tag.Name = LowerCopy(Text.substr(P, nameEnd - P));
        std::size_t q = nameEnd;
        TTagAttribute attribute;
        bool selfClosing = false;
        while (NextTagAttribute(Text, q, attribute, selfClosing)) tag.Attributes.push_back(attribute);
        tag.End = q == std::string_view::npos ? Text.size() : q;
        const std::string name = tag.Name;
        tags.push_back(std::move(tag));
        for (const char* raw : {"script", "style", "textarea", "title", "xmp", "iframe", "noembed",
                                "noframes"})
          if (name == raw) return RawTextEnd(Text, name, tags.back().End);
        return tags.back().End;
      },
      [] {});
  return tags;
}

// The tag Offset stands in.
const TTag* TagAt(const std::vector<TTag>& Tags, std::size_t Offset) {
  auto it = std::upper_bound(Tags.begin(), Tags.end(), Offset,
                             [](std::size_t O, const TTag& T) { return O < T.Start; });
  if (it == Tags.begin()) return nullptr;
  --it;
  return Offset < it->End ? &*it : nullptr;
}

// The attribute of Tag whose value holds Offset.
const TTagAttribute* AttributeAt(const TTag& Tag, std::size_t Offset) {
  for (const TTagAttribute& a : Tag.Attributes)
    if (Offset >= a.ValueStart && Offset <= a.ValueEnd) return &a;
  return nullptr;
}

// One replacement: the bytes [Offset, Offset + Length) are written by Write.
struct TReplacement {
  std::size_t Offset = 0;
  std::size_t Length = 0;
  std::function<void(TOut&)> Write;
};

class TSingleFileWriter {
 public:
  TSingleFileWriter(const TSavedFileLookup& Lookup, std::uint64_t Limit)
      : lookup_(Lookup), limit_(Limit) {}

  bool Page(const std::string& Path, TOut& Out, int Depth, std::string& Why) {
    const std::optional<std::string> text = ReadFileNoFollow(Path);
    if (!text) {
      Why = Path + ": " + std::strerror(ENOENT);
      return false;
    }
    Html(*text, Out, Depth);
    return true;
  }

  // The page Text with its files taken in.
  void Html(std::string_view Text, TOut& Out, int Depth) {
    const std::vector<TResourceRef> refs = ScanPageRefs(Text);
    const std::vector<TTag> tags = TagsOf(Text);
    std::vector<TReplacement> edits;
    for (const TResourceRef& ref : refs) {
      switch (ref.Role) {
        case TRefRole::Base:
        case TRefRole::Integrity:
          continue;
        case TRefRole::SrcDoc: {
          if (Depth >= kMaxDepth) continue;
          const bool quoted = ref.Offset > 0 && Text[ref.Offset - 1] == '"';
          std::string inner = ref.Url;
          edits.push_back({ref.Offset, ref.Length, [this, inner, quoted, Depth](TOut& Out) {
                             if (!quoted) Out.Put("\"");
                             TAttributeOut attribute(Out);
                             Html(inner, attribute, Depth + 1);
                             if (!quoted) Out.Put("\"");
                           }});
          continue;
        }
        default:
          break;
      }
      const std::optional<TSavedFile> file = lookup_(StripFragment(ref.Url));
      if (!file || HasUrlScheme(ref.Url)) continue;  // already a web address, or not a file
      const std::string fragment = GetFragment(ref.Url);
      const bool inline_ = !file->Path.empty() && FitsLimit(file->Path) &&
                           ref.Role != TRefRole::Anchor && ref.Role != TRefRole::Reference;
      if (!inline_) {
        const std::string link = LinkForContext(AddressAsLink(file->WebAddress + fragment), ref.Context);
        edits.push_back({ref.Offset, ref.Length, [link](TOut& Out) { Out.Put(link); }});
        continue;
      }
      const TTag* tag = ref.Context == TRefContext::HtmlAttribute ? TagAt(tags, ref.Offset) : nullptr;
      if (ref.Role == TRefRole::Frame && tag && Depth < kMaxDepth) {
        if (const TTagAttribute* a = AttributeAt(*tag, ref.Offset); a && tag->Name == "iframe") {
          // srcdoc wins over src: the frame's page goes into the attribute.
          const std::string path = file->Path;
          edits.push_back({a->Lead, a->End - a->Lead, [this, path, Depth](TOut& Out) {
                             Out.Put(" srcdoc=\"");
                             TAttributeOut attribute(Out);
                             std::string ignored;
                             Page(path, attribute, Depth + 1, ignored);
                             Out.Put("\"");
                           }});
          continue;
        }
        const std::string path = file->Path;  // <frame> and others: a data: page
        edits.push_back({ref.Offset, ref.Length, [this, path, Depth](TOut& Out) {
                           Out.Put("data:text/html;base64,");
                           TBase64Out base64(Out);
                           std::string ignored;
                           Page(path, base64, Depth + 1, ignored);
                           base64.Close();
                         }});
        continue;
      }
      if (ref.Role == TRefRole::StyleSheet && tag && tag->Name == "link" && Depth < kMaxDepth) {
        const TTagAttribute* rel = tag->Attribute("rel");
        if (rel && LowerCopy(rel->Value(Text)).find("stylesheet") != std::string::npos) {
          const TTagAttribute* media = tag->Attribute("media");
          const std::string mediaText = media ? std::string(media->Value(Text)) : "";
          const std::string path = file->Path;
          edits.push_back({tag->Start, tag->End - tag->Start,
                           [this, path, mediaText, Depth](TOut& Out) {
                             Out.Put("<style");
                             if (!mediaText.empty()) {
                               Out.Put(" media=\"");
                               TAttributeOut(Out).Put(mediaText);
                               Out.Put("\"");
                             }
                             Out.Put(">");
                             Sheet(path, Out, Depth + 1);
                             Out.Put("</style>");
                           }});
          continue;
        }
      }
      if (ref.Role == TRefRole::StyleSheet && ref.Context == TRefContext::Css &&
          Depth < kMaxDepth) {
        if (auto edit = ImportInPlace(Text, ref, file->Path, Depth)) {
          edits.push_back(std::move(*edit));
          continue;
        }
      }
      edits.push_back({ref.Offset, ref.Length, DataAddress(*file)});
    }
    Apply(Text, std::move(edits), Out, false);
  }

  // A style sheet's text with its files taken in and its imports in place,
  // as the text of a <style> element.
  void Sheet(const std::string& Path, TOut& Out, int Depth) {
    const std::optional<std::string> text = ReadFileNoFollow(Path);
    if (!text) return;
    std::vector<TResourceRef> refs;
    ScanCssRefs(*text, 0, TRefContext::Css, 0, refs);
    std::vector<TReplacement> edits;
    for (const TResourceRef& ref : refs) {
      const std::optional<TSavedFile> file = lookup_(StripFragment(ref.Url));
      if (!file || HasUrlScheme(ref.Url)) continue;
      if (file->Path.empty() || !FitsLimit(file->Path)) {
        const std::string link = LinkForContext(AddressAsLink(file->WebAddress + GetFragment(ref.Url)), ref.Context);
        edits.push_back({ref.Offset, ref.Length, [link](TOut& Out) { Out.Put(link); }});
        continue;
      }
      if (ref.Role == TRefRole::StyleSheet && Depth < kMaxDepth) {
        if (auto edit = ImportInPlace(*text, ref, file->Path, Depth)) {
          edits.push_back(std::move(*edit));
          continue;
        }
      }
      edits.push_back({ref.Offset, ref.Length, DataAddress(*file)});
    }
    Apply(*text, std::move(edits), Out, true);
  }

 private:
  bool FitsLimit(const std::string& Path) const {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) <= limit_;
  }

  // The file as a data: address, written as it is read.
  std::function<void(TOut&)> DataAddress(const TSavedFile& File) {
    return [File](TOut& Out) {
      Out.Put("data:" + File.Type + ";base64,");
      TBase64Out base64(Out);
      const int fd = ::open(File.Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fd >= 0) {
        std::vector<char> block(192u << 10);
        for (;;) {
          const ssize_t got = ::read(fd, block.data(), block.size());
          if (got < 0 && errno == EINTR) continue;
          if (got <= 0) break;
          base64.Put(std::string_view(block.data(), static_cast<std::size_t>(got)));
        }
        ::close(fd);
      }
      base64.Close();
    };
  }

  // The @import rule around Ref replaced by the imported sheet (inside
  // @media when the rule names media); nothing when the rule cannot be
  // told apart.
  std::optional<TReplacement> ImportInPlace(std::string_view Text, const TResourceRef& Ref,
                                            const std::string& Path, int Depth) {
    const std::size_t searchFrom = Ref.Offset > 300 ? Ref.Offset - 300 : 0;
    std::size_t start = std::string_view::npos;
    for (std::size_t at = searchFrom; at < Ref.Offset; ++at)
      if (Text.compare(at, 7, "@import") == 0 || Text.compare(at, 7, "@IMPORT") == 0) start = at;
    if (start == std::string_view::npos) return std::nullopt;
    std::size_t end = Ref.Offset + Ref.Length;
    while (end < Text.size() && Text[end] != ';' && Text[end] != '\n') ++end;
    // Whatever stands after the address: a closing quote or parenthesis,
    // then the media list.
    std::string_view tail = Text.substr(Ref.Offset + Ref.Length, end - Ref.Offset - Ref.Length);
    while (!tail.empty() && (tail.front() == '"' || tail.front() == '\'' || tail.front() == ')' ||
                             IsMarkupSpace(tail.front())))
      tail.remove_prefix(1);
    const std::string media(TrimView(tail));
    if (end < Text.size() && Text[end] == ';') ++end;
    return TReplacement{start, end - start, [this, Path, media, Depth](TOut& Out) {
                          const bool wrap = !media.empty() && media.rfind("layer", 0) != 0 &&
                                            media.rfind("supports", 0) != 0;
                          if (wrap) Out.Put("@media " + media + " {\n");
                          Sheet(Path, Out, Depth + 1);
                          if (wrap) Out.Put("\n}");
                        }};
  }

  // Text with the replacements made; in a style element no text may end
  // the element early.
  static void Apply(std::string_view Text, std::vector<TReplacement> Edits, TOut& Out, bool InStyle) {
    std::stable_sort(Edits.begin(), Edits.end(),
                     [](const TReplacement& A, const TReplacement& B) { return A.Offset < B.Offset; });
    std::size_t at = 0;
    const auto text = [&](std::string_view Part) {
      if (!InStyle) return Out.Put(Part);
      for (std::size_t close; (close = FindNoCase(Part, "</style")) != std::string_view::npos;) {
        Out.Put(Part.substr(0, close + 1));
        Out.Put("\\");
        Part.remove_prefix(close + 1);
      }
      Out.Put(Part);
    };
    for (TReplacement& edit : Edits) {
      if (edit.Offset < at) continue;  // inside one made already
      text(Text.substr(at, edit.Offset - at));
      edit.Write(Out);
      at = edit.Offset + edit.Length;
    }
    text(Text.substr(std::min(at, Text.size())));
  }

  static std::size_t FindNoCase(std::string_view Text, std::string_view Lower) {
    for (std::size_t i = 0; i + Lower.size() <= Text.size(); ++i)
      if (SameTextAscii(Text.substr(i, Lower.size()), Lower)) return i;
    return std::string_view::npos;
  }

  const TSavedFileLookup& lookup_;
  std::uint64_t limit_;
};

}  // namespace

std::string TypeOfFileName(const std::string& Name) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html"},      {".htm", "text/html"},        {".css", "text/css"},
      {".js", "text/javascript"},  {".mjs", "text/javascript"},  {".json", "application/json"},
      {".png", "image/png"},       {".jpg", "image/jpeg"},       {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},       {".webp", "image/webp"},      {".avif", "image/avif"},
      {".svg", "image/svg+xml"},   {".ico", "image/x-icon"},     {".bmp", "image/bmp"},
      {".woff2", "font/woff2"},    {".woff", "font/woff"},       {".ttf", "font/ttf"},
      {".otf", "font/otf"},        {".mp4", "video/mp4"},        {".webm", "video/webm"},
      {".mp3", "audio/mpeg"},      {".ogg", "audio/ogg"},        {".wav", "audio/wav"},
      {".vtt", "text/vtt"},        {".txt", "text/plain"},       {".xml", "application/xml"},
      {".pdf", "application/pdf"},
  };
  const std::size_t dot = Name.rfind('.');
  if (dot != std::string::npos) {
    const std::string extension = LowerCopy(std::string_view(Name).substr(dot));
    for (const auto& [ext, type] : kTypes)
      if (extension == ext) return type;
  }
  return "application/octet-stream";
}

bool WriteSingleFile(const std::string& PagePath, const std::string& OutPath,
                     const TSavedFileLookup& Lookup, std::uint64_t InlineLimit, std::string& Why) {
  const std::size_t slash = OutPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "./" : OutPath.substr(0, slash + 1);
  std::string part;
  try {
    part = CreatePartFile(folder);
  } catch (const TFileError& e) {
    Why = std::strerror(e.Errno());
    return false;
  }
  const int fd = ::open(part.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    Why = std::strerror(errno);
    ::unlink(part.c_str());
    return false;
  }
  TFileOut out(fd);
  TSingleFileWriter writer(Lookup, InlineLimit);
  bool ok = writer.Page(PagePath, out, 0, Why);
  out.Flush();
  if (ok && !out.Error().empty()) {
    Why = out.Error();
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    Why = std::strerror(errno);
    ok = false;
  }
  if (ok && ::rename(part.c_str(), OutPath.c_str()) != 0) {
    Why = std::strerror(errno);
    ok = false;
  }
  if (!ok) ::unlink(part.c_str());
  return ok;
}

}  // namespace leafstash
