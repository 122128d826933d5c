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
#include "html/byte_search.h"
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

// An attribute value in quotes of either kind: "&" and both quotes as
// references.
class TAttributeOut final : public TOut {
 public:
  explicit TAttributeOut(TOut& Inner) : inner_(Inner) {}
  void Put(std::string_view Bytes) override {
    std::size_t from = 0;
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
      const char* reference = Bytes[i] == '&'    ? "&amp;"
                              : Bytes[i] == '"'  ? "&quot;"
                              : Bytes[i] == '\'' ? "&#39;"
                                                 : nullptr;
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

// Where an @import rule stands around its address, and the media it names.
struct TImportRule {
  std::size_t Start = 0;
  std::size_t End = 0;  // after its ";"
  std::string Media;
};

std::optional<TImportRule> ImportRuleAt(std::string_view Text, const TResourceRef& Ref) {
  std::size_t start = Text.rfind('@', Ref.Offset);
  if (start == std::string_view::npos || !SameTextAscii(Text.substr(start, 7), "@import"))
    return std::nullopt;
  std::size_t end = Ref.Offset + Ref.Length;
  while (end < Text.size() && Text[end] != ';' && Text[end] != '}') ++end;
  // After the address: its closing quote or parenthesis, then the media.
  std::string_view tail = Text.substr(Ref.Offset + Ref.Length, end - Ref.Offset - Ref.Length);
  while (!tail.empty() && (tail.front() == '"' || tail.front() == '\'' || tail.front() == ')' ||
                           IsMarkupSpace(tail.front())))
    tail.remove_prefix(1);
  if (end < Text.size() && Text[end] == ';') ++end;
  return TImportRule{start, end, std::string(TrimView(tail))};
}

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
    std::vector<std::size_t> hoisted;  // style elements whose imports are hoisted
    for (const TResourceRef& ref : refs) {
      if (ref.Role == TRefRole::Base || ref.Role == TRefRole::Integrity) continue;
      if (ref.Role == TRefRole::SrcDoc) {
        if (Depth >= kMaxDepth) continue;
        const char before = ref.Offset > 0 ? Text[ref.Offset - 1] : ' ';
        const bool quoted = before == '"' || before == '\'';
        std::string inner = ref.Url;
        edits.push_back({ref.Offset, ref.Length, [this, inner, quoted, Depth](TOut& Out) {
                           if (!quoted) Out.Put("\"");
                           TAttributeOut attribute(Out);
                           Html(inner, attribute, Depth + 1);
                           if (!quoted) Out.Put("\"");
                         }});
        continue;
      }
      if (ref.Role == TRefRole::StyleSheet && ref.Context == TRefContext::Css && Depth < kMaxDepth) {
        if (const auto rule = ImportRuleAt(Text, ref)) {
          // An @import in a style element: the imports that stay on the
          // web go to the top of the element, the sheets from the folder
          // in place of their rules.
          auto style = std::upper_bound(tags.begin(), tags.end(), ref.Offset,
                                        [](std::size_t O, const TTag& T) { return O < T.Start; });
          if (style != tags.begin() && (--style)->Name == "style") {
            if (std::find(hoisted.begin(), hoisted.end(), style->End) == hoisted.end()) {
              hoisted.push_back(style->End);
              const std::string block(
                  Text.substr(style->End, RawTextEnd(Text, "style", style->End) - style->End));
              edits.push_back({style->End, 0, [this, block, Depth](TOut& Out) {
                                 for (const std::string& import : RemoteImports(block, Depth))
                                   Out.Put(import);
                               }});
            }
            const std::optional<TSavedFile> file =
                HasUrlScheme(ref.Url) ? std::nullopt : lookup_(StripFragment(ref.Url));
            if (file && Inlined(*file))
              edits.push_back(ImportedInPlace(*rule, file->Path, Depth));
            else
              edits.push_back({rule->Start, rule->End - rule->Start, [](TOut&) {}});
            continue;
          }
        }
      }
      if (HasUrlScheme(ref.Url)) {  // a web address already, or data:
        Bare(ref, edits);
        continue;
      }
      const std::optional<TSavedFile> file = lookup_(StripFragment(ref.Url));
      if (!file) continue;
      const std::string web = WebLink(*file, ref);
      if (!Inlined(*file) || ref.Role == TRefRole::Anchor || ref.Role == TRefRole::Reference) {
        edits.push_back({ref.Offset, ref.Length, [web](TOut& Out) { Out.Put(web); }});
        continue;
      }
      const TTag* tag = ref.Context == TRefContext::HtmlAttribute ? TagAt(tags, ref.Offset) : nullptr;
      if (ref.Role == TRefRole::Frame && tag && Depth < kMaxDepth) {
        const TTagAttribute* a = AttributeAt(*tag, ref.Offset);
        if (a && tag->Name == "iframe") {
          if (tag->Attribute("srcdoc")) {  // its own srcdoc wins over src
            edits.push_back({ref.Offset, ref.Length, [web](TOut& Out) { Out.Put(web); }});
            continue;
          }
          // The frame's page goes into the attribute that wins over src.
          const std::string path = file->Path;
          const std::string webAttribute = " src=\"" + web + "\"";
          edits.push_back({a->Lead, a->End - a->Lead, [this, path, webAttribute, Depth](TOut& Out) {
                             const std::optional<std::string> page = ReadFileNoFollow(path);
                             if (!page) return Out.Put(webAttribute);
                             Out.Put(" srcdoc=\"");
                             TAttributeOut attribute(Out);
                             Html(*page, attribute, Depth + 1);
                             Out.Put("\"");
                           }});
          continue;
        }
        const std::string path = file->Path;  // <frame> has no srcdoc: a data: page
        edits.push_back({ref.Offset, ref.Length, [this, path, web, Depth](TOut& Out) {
                           const std::optional<std::string> page = ReadFileNoFollow(path);
                           if (!page) return Out.Put(web);
                           Out.Put("data:text/html;base64,");
                           TBase64Out base64(Out);
                           Html(*page, base64, Depth + 1);
                           base64.Close();
                         }});
        continue;
      }
      if (ref.Role == TRefRole::StyleSheet && Depth < kMaxDepth) {
        if (tag && tag->Name == "link") {
          edits.push_back(LinkedSheet(Text, *tag, ref, *file, web, Depth));
          continue;
        }
      }
      edits.push_back({ref.Offset, ref.Length, DataAddress(*file, web)});
    }
    Apply(Text, std::move(edits), Out, false);
  }

 private:
  bool Inlined(const TSavedFile& File) const {
    struct stat st {};
    return !File.Path.empty() && ::stat(File.Path.c_str(), &st) == 0 &&
           static_cast<std::uint64_t>(st.st_size) <= limit_;
  }

  // A web address with a user name and password in it is written without
  // them: the copy is made to be passed on.
  static void Bare(const TResourceRef& Ref, std::vector<TReplacement>& Edits) {
    const std::string bare = WithoutCredentials(Ref.Url);
    if (bare == Ref.Url) return;
    const std::string link = LinkForContext(AddressAsLink(bare), Ref.Context);
    Edits.push_back({Ref.Offset, Ref.Length, [link](TOut& Out) { Out.Put(link); }});
  }

  // The file's web address as the reference's place needs it written.
  static std::string WebLink(const TSavedFile& File, const TResourceRef& Ref) {
    return LinkForContext(AddressAsLink(File.WebAddress + GetFragment(Ref.Url)), Ref.Context);
  }

  // The file as a data: address, written as it is read; its web address
  // when it cannot be read.
  static std::function<void(TOut&)> DataAddress(const TSavedFile& File, const std::string& Web) {
    return [File, Web](TOut& Out) {
      const int fd = ::open(File.Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fd < 0) return Out.Put(Web);
      Out.Put("data:" + File.Type + ";base64,");
      TBase64Out base64(Out);
      std::vector<char> block(192u << 10);
      for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        base64.Put(std::string_view(block.data(), static_cast<std::size_t>(got)));
      }
      ::close(fd);
      base64.Close();
    };
  }

  // A <link> to a saved sheet: a plain style sheet becomes a <style>
  // element; an alternate one, or one only preloaded, keeps its element
  // with the sheet as a data: address.
  TReplacement LinkedSheet(std::string_view Text, const TTag& Tag, const TResourceRef& Ref,
                           const TSavedFile& File, const std::string& Web, int Depth) {
    const TTagAttribute* rel = Tag.Attribute("rel");
    const std::string tokens = rel ? " " + LowerCopy(rel->Value(Text)) + " " : "";
    const bool plain = tokens.find(" stylesheet ") != std::string::npos &&
                       tokens.find(" alternate ") == std::string::npos && !Tag.Attribute("disabled");
    const std::string path = File.Path;
    if (!plain) {
      return {Ref.Offset, Ref.Length, [this, path, Web, Depth](TOut& Out) {
                const std::optional<std::string> css = ReadFileNoFollow(path);
                if (!css) return Out.Put(Web);
                Out.Put("data:text/css;base64,");
                TBase64Out base64(Out);
                for (const std::string& import : RemoteImports(*css, Depth + 1)) base64.Put(import);
                Css(*css, base64, Depth + 1, false);
                base64.Close();
              }};
    }
    std::string open = "<style";
    for (const char* name : {"media", "title", "id", "nonce"})
      if (const TTagAttribute* a = Tag.Attribute(name)) {
        std::string value;
        struct TCollect final : TOut {
          std::string& S;
          explicit TCollect(std::string& Into) : S(Into) {}
          void Put(std::string_view B) override { S.append(B); }
        } collect(value);
        TAttributeOut(collect).Put(a->Value(Text));
        open += std::string(" ") + name + "=\"" + value + "\"";
      }
    open += ">";
    const std::string original(Text.substr(Tag.Start, Tag.End - Tag.Start));
    return {Tag.Start, Tag.End - Tag.Start, [this, path, open, original, Depth](TOut& Out) {
              const std::optional<std::string> css = ReadFileNoFollow(path);
              if (!css) return Out.Put(original);
              Out.Put(open);
              for (const std::string& import : RemoteImports(*css, Depth + 1)) Out.Put(import);
              Css(*css, Out, Depth + 1, true);
              Out.Put("</style>");
            }};
  }

  // The @import rules, through the sheets imported from the folder, whose
  // sheets stay on the web: they must stand before every other rule of
  // the element the sheets end up in, or browsers ignore them.
  std::vector<std::string> RemoteImports(std::string_view Css, int Depth) {
    std::vector<std::string> imports;
    std::vector<TResourceRef> refs;
    ScanCssRefs(Css, 0, TRefContext::Css, 0, refs);
    for (const TResourceRef& ref : refs) {
      if (ref.Role != TRefRole::StyleSheet) continue;
      const auto rule = ImportRuleAt(Css, ref);
      if (!rule) continue;
      const std::optional<TSavedFile> file =
          HasUrlScheme(ref.Url) ? std::nullopt : lookup_(StripFragment(ref.Url));
      if (file && Inlined(*file) && Depth < kMaxDepth) {
        if (const std::optional<std::string> inner = ReadFileNoFollow(file->Path)) {
          for (std::string& import : RemoteImports(*inner, Depth + 1))
            imports.push_back(std::move(import));
          continue;
        }
      }
      const std::string address =
          file ? WebLink(*file, ref)
               : LinkForContext(AddressAsLink(WithoutCredentials(ref.Url)), TRefContext::Css);
      imports.push_back("@import url(\"" + address + "\")" +
                        (rule->Media.empty() ? "" : " " + rule->Media) + ";\n");
    }
    return imports;
  }

  // The @import rule replaced by the body of the sheet it imports from the
  // folder (inside @media when it names media), or by nothing when that
  // sheet stays on the web: its rule is among the hoisted ones.
  TReplacement ImportedInPlace(const TImportRule& Rule, const std::string& Path, int Depth) {
    const std::string media = Rule.Media;
    return {Rule.Start, Rule.End - Rule.Start, [this, Path, media, Depth](TOut& Out) {
              const std::optional<std::string> css = ReadFileNoFollow(Path);
              if (!css) return;
              const bool wrap = !media.empty() && media.rfind("layer", 0) != 0 &&
                                media.rfind("supports", 0) != 0;
              if (wrap) Out.Put("@media " + media + " {\n");
              Css(*css, Out, Depth + 1, true);
              if (wrap) Out.Put("\n}");
            }};
  }

  // A sheet's text without its @import rules (their sheets are in place
  // or hoisted), its files taken in. InStyle: it ends up inside a <style>
  // element, which no text in it may end early.
  void Css(std::string_view Text, TOut& Out, int Depth, bool InStyle) {
    std::vector<TResourceRef> refs;
    ScanCssRefs(Text, 0, TRefContext::Css, 0, refs);
    std::vector<TReplacement> edits;
    for (const TResourceRef& ref : refs) {
      const bool local = !HasUrlScheme(ref.Url);
      const std::optional<TSavedFile> file = local ? lookup_(StripFragment(ref.Url)) : std::nullopt;
      if (ref.Role == TRefRole::StyleSheet) {
        if (const auto rule = ImportRuleAt(Text, ref)) {
          if (file && Inlined(*file) && Depth < kMaxDepth)
            edits.push_back(ImportedInPlace(*rule, file->Path, Depth));
          else
            edits.push_back({rule->Start, rule->End - rule->Start, [](TOut&) {}});
          continue;
        }
      }
      if (!local) Bare(ref, edits);
      if (!file) continue;
      const std::string web = WebLink(*file, ref);
      if (!Inlined(*file))
        edits.push_back({ref.Offset, ref.Length, [web](TOut& Out) { Out.Put(web); }});
      else
        edits.push_back({ref.Offset, ref.Length, DataAddress(*file, web)});
    }
    Apply(Text, std::move(edits), Out, InStyle);
  }

  // Text with the replacements made; in a style element no text may end
  // the element early.
  static void Apply(std::string_view Text, std::vector<TReplacement> Edits, TOut& Out, bool InStyle) {
    std::stable_sort(Edits.begin(), Edits.end(),
                     [](const TReplacement& A, const TReplacement& B) { return A.Offset < B.Offset; });
    std::size_t at = 0;
    const auto text = [&](std::string_view Part) {
      if (!InStyle) return Out.Put(Part);
      for (std::size_t close; (close = FindCaseless(Part, "</STYLE")) != std::string_view::npos;) {
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
