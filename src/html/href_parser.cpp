#include "html/href_parser.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "html/byte_search.h"
#include "html/text_utils.h"

namespace leafstash {

bool THREFList::Add(std::string Text) {
  auto it = std::lower_bound(items_.begin(), items_.end(), Text);
  if (it != items_.end() && *it == Text) return false;
  items_.insert(it, std::move(Text));
  return true;
}

int THREFList::IndexOf(std::string_view Text) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), Text,
                             [](const std::string& a, std::string_view b) {
                               return std::string_view(a) < b;
                             });
  if (it == items_.end() || *it != Text) return -1;
  return static_cast<int>(it - items_.begin());
}

void THREFDocument::Assign(const THREFDocument& Other) {
  if (this == &Other) return;
  Hyperlinks = Other.Hyperlinks;
  URL.Assign(Other.URL);
  Lines = Other.Lines;
  Title = Other.Title;
  Keywords = Other.Keywords;
  Description = Other.Description;
}

void THREFParser::SetHTML(std::vector<std::string> Lines) {
  document_.Lines = std::move(Lines);
  document_.Parse();
}

namespace {

constexpr std::string_view kStylePatterns[] = {" url", ":url"};

constexpr std::string_view kPhpCalls[] = {
    "include",    "require_once", "require",       " dl",
    "imageload",  "imagecreatefrom", "getimagesize", "gzopen",
    "fopen",      "fdf_open",     "readfile",      "_save",
    "Header",     "dbase_create", "dbase_open",    "dbmcreate",
    "dbmopen",    "get_meta_tags", "file",         "chgrp",
    "chmod",      "lookup",       "stat",          "touch",
    "unlink",     "pdf_get_info"};

constexpr std::size_t npos = std::string_view::npos;

// Offset of Needle in Text at or after From, or npos.
std::size_t Find(std::string_view Text, std::string_view Needle,
                 std::size_t From) {
  if (From > Text.size() || Text.size() - From < Needle.size()) return npos;
  const void* hit =
      memmem(Text.data() + From, Text.size() - From, Needle.data(), Needle.size());
  return hit ? static_cast<const char*>(hit) - Text.data() : npos;
}

// The bytes a quote-aware search stops at: the two quote characters first,
// then the stops proper.
constexpr std::array<char, 6> kNameStops = {'"', '\'', '\r', ' ', '<', '>'};
constexpr std::array<char, 3> kTagStops = {'"', '\'', '>'};
constexpr std::array<char, 1> kTagStart = {'<'};

// The first stop byte at or after Start that stands outside double and
// single quotes (a double quote counts only outside single quotes and the
// other way round); npos when there is none. Quoted tells whether a quote
// came before it.
template <std::size_t K>
std::size_t FindOutsideQuotes(std::string_view Text, std::size_t Start,
                              const std::array<char, K>& Stops, bool* Quoted = nullptr) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(Text.data());
  const std::size_t n = Text.size();
  std::size_t i = Start;
  while (i < n) {
    i = FindFirstOf(p, i, n, Stops);
    if (i >= n) break;
    if (p[i] != '"' && p[i] != '\'') return i;
    if (Quoted) *Quoted = true;
    // Inside quotes only the same quote character counts.
    const std::array<char, 1> quote = {static_cast<char>(p[i])};
    i = FindFirstOf(p, i + 1, n, quote);
    if (i >= n) break;
    ++i;
  }
  return npos;
}

enum class TagId {
  Ignored, A, Area, Link, Img, Frame, IFrame, BgSound, Body, Meta,
  Style, Title, Script, Php, ServerPage,
};

// A name of up to seven bytes packed into one number with its length, for
// comparing names in registers.
constexpr std::uint64_t NameKey(std::string_view Name) {
  std::uint64_t key = static_cast<std::uint64_t>(Name.size()) << 56;
  for (std::size_t k = 0; k < Name.size(); ++k)
    key |= static_cast<std::uint64_t>(Upper(static_cast<unsigned char>(Name[k]))) << (8 * k);
  return key;
}

// The tag a name stands for, ASCII case ignored.
TagId Classify(std::string_view Name) {
  if (Name.size() <= 7) {
    switch (NameKey(Name)) {
      case NameKey("A"): return TagId::A;
      case NameKey("?"): return TagId::Php;
      case NameKey("IMG"): return TagId::Img;
      case NameKey("AREA"): return TagId::Area;
      case NameKey("LINK"): return TagId::Link;
      case NameKey("BODY"): return TagId::Body;
      case NameKey("META"): return TagId::Meta;
      case NameKey("?PHP"): return TagId::Php;
      case NameKey("FRAME"): return TagId::Frame;
      case NameKey("STYLE"): return TagId::Style;
      case NameKey("TITLE"): return TagId::Title;
      case NameKey("IFRAME"): return TagId::IFrame;
      case NameKey("SCRIPT"): return TagId::Script;
      case NameKey("BGSOUND"): return TagId::BgSound;
      default: break;
    }
  }
  return Name.find('%') != npos ? TagId::ServerPage : TagId::Ignored;
}

// Bytes that GetAttributeValue treats specially; the rest are copied in runs.
constexpr std::array<bool, 256> kAttributeSpecial = [] {
  std::array<bool, 256> special{};
  for (unsigned char c : std::string_view(" \"'+<>=")) special[c] = true;
  return special;
}();

// GetAttributeValue into Value, whose memory is kept from call to call.
void ReadAttributeValue(std::string_view Text, std::string_view UpperName,
                        std::string& value) {
  value.clear();
  if (Text.empty()) return;
  const std::size_t at = FindCaseless(Text, UpperName);
  if (at == npos) return;
  bool seenEquals = false, valueStarted = false, inQuotes = false;
  char quote = 0;
  std::size_t run = npos;  // start of the pending run of copied bytes
  const auto flush = [&](std::size_t end) {
    if (run != npos) value.append(Text.data() + run, end - run);
    run = npos;
  };
  for (std::size_t i = at + UpperName.size(); i < Text.size(); ++i) {
    const char c = Text[i];
    if (!kAttributeSpecial[static_cast<unsigned char>(c)]) {
      // CR, LF and TAB included: ignored before "=", copied after it.
      if (seenEquals) {
        valueStarted = true;
        if (run == npos) run = i;
      }
      continue;
    }
    flush(i);
    switch (c) {
      case ' ':
        if (valueStarted && !inQuotes) return;
        value += ' ';  // blanks before the value are kept
        break;
      case '"':
      case '\'':
        if (!seenEquals) break;
        if (inQuotes) {
          if (c == quote) return;
          valueStarted = true;  // the other quote character is dropped
        } else {
          quote = c;
          inQuotes = valueStarted = true;
        }
        break;
      case '+':
        if (valueStarted) value += ' ';
        break;
      case '<':
      case '>':
        if (!inQuotes) return;
        break;
      case '=':
        if (seenEquals) value += '=';
        else seenEquals = true;
        break;
    }
  }
  flush(Text.size());
}

}  // namespace

std::string GetAttributeValue(std::string_view Text, std::string_view UpperName) {
  std::string value;
  ReadAttributeValue(Text, UpperName, value);
  return value;
}

std::string GetCallArgument(std::string_view Text) {
  std::string arg;
  std::size_t open = Text.find('(');
  if (open == npos) open = 0;
  std::size_t close = Text.find(')');
  if (close == npos) close = Text.empty() ? 0 : Text.size() - 1;
  for (std::size_t i = open + 1; i < close; ++i) {
    const char c = Text[i];
    if (c == '"' || c == '\'') continue;
    if (c == ',') break;
    arg += c;
  }
  const std::size_t location = UpperCopy(arg).find("LOCATION:");
  if (location != npos) {
    const std::size_t from = location + 10;  // "Location:" and one blank
    arg = from < arg.size() ? arg.substr(from) : std::string();
  }
  return arg;
}

// One scan of a document's lines.
class HtmlScan {
 public:
  // The document's scan buffers keep their memory between scans; a scan
  // started from inside an event of another uses buffers of its own.
  explicit HtmlScan(THREFDocument& Document)
      : doc_(Document),
        nested_(Document.scanning_),
        textBuf_(nested_ ? ownText_ : Document.scanText_) {
    doc_.scanning_ = true;
  }
  ~HtmlScan() {
    if (!nested_) doc_.scanning_ = false;
  }
  HtmlScan(const HtmlScan&) = delete;
  HtmlScan& operator=(const HtmlScan&) = delete;

  // Scans the document's lines, or Text when it is given.
  void Run(const std::string_view* Text) {
    const THREFKind kind = doc_.URL.GetKind();
    if (kind == THREFKind::Picture || kind == THREFKind::Applet ||
        kind == THREFKind::Binary) {
      if (Text) doc_.Lines = SplitLines(*Text);
      return;
    }
    const bool html = kind != THREFKind::StyleSheet;
    // Lines a given text may point into are freed only after the scan.
    std::vector<std::string> earlierLines;
    if (Text) {
      earlierLines.swap(doc_.Lines);
      TakeText(*Text);
    } else {
      TakeLines();
    }
    if (html) {
      ScanHtml();
    } else {
      ScanCallReferences(text_, kStylePatterns);
    }
  }

 private:
  // Joins the lines, each followed by CR LF, into text_; empties the lines.
  void TakeLines() {
    std::size_t total = 0;
    for (const std::string& line : doc_.Lines) total += line.size() + 2;
    textBuf_.resize(total);
    char* t = textBuf_.data();
    for (const std::string& line : doc_.Lines) AppendLine(t, line);
    doc_.Lines.clear();
    text_ = textBuf_;
  }

  // The same text for a text whose lines end in CR LF, LF or CR. A text
  // whose every line already ends in CR LF is scanned where it is.
  void TakeText(std::string_view Text) {
    if (OnlyCrLfBreaks(Text)) {
      if (Text.empty() || Text.back() == '\n') {
        text_ = Text;
        return;
      }
      textBuf_.assign(Text);
      textBuf_ += "\r\n";
      text_ = textBuf_;
      return;
    }
    std::size_t total = 0;
    ForEachLine(Text, [&](std::string_view line) { total += line.size() + 2; });
    textBuf_.resize(total);
    char* t = textBuf_.data();
    ForEachLine(Text, [&](std::string_view line) { AppendLine(t, line); });
    text_ = textBuf_;
  }

  // True when every CR is followed by LF and every LF follows a CR.
  static bool OnlyCrLfBreaks(std::string_view Text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(Text.data());
    const std::size_t n = Text.size();
    if (n == 0) return true;
    if (p[0] == '\n' || p[n - 1] == '\r') return false;
    for (std::size_t block = 1; block < n; block += 4096) {
      const std::size_t end = std::min(n, block + 4096);
      unsigned char mismatch = 0;
      for (std::size_t k = block; k < end; ++k)
        mismatch |= static_cast<unsigned char>((p[k] == '\n') ^ (p[k - 1] == '\r'));
      if (mismatch) return false;
    }
    return true;
  }

  static void AppendLine(char*& Out, std::string_view Line) {
    std::memcpy(Out, Line.data(), Line.size());
    Out += Line.size();
    *Out++ = '\r';
    *Out++ = '\n';
  }

  void ScanHtml() {
    const std::string_view text = text_;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
      // Tags stand close together: an inline search beats a library call.
      i = FindFirstOf(reinterpret_cast<const unsigned char*>(text.data()), i, n, kTagStart);
      if (i >= n) break;

      // A name runs to CR, space, "<" or ">" outside quotes; without one, to
      // the end of the text, whose last byte is left out.
      bool quoted = false;
      const std::size_t stop = FindOutsideQuotes(text, i + 1, kNameStops, &quoted);
      const std::size_t nameEnd = stop == npos ? n - 1 : stop;
      const std::size_t nameLen = nameEnd > i ? nameEnd - i - 1 : 0;
      const std::string_view rawName = TrimView(text.substr(i + 1, nameLen));
      const TagId id = Classify(rawName);
      if (id == TagId::Ignored) {
        // Tags inside comments and unknown tags are still found: the walk
        // goes on inside this one, or at its name's end when no quote
        // (which may hide a "<") came before it.
        i = quoted || stop == npos ? i + 1 : stop;
        continue;
      }
      const std::string name = UpperCopy(rawName);
      switch (id) {
        case TagId::Style:
          i = ProcessBlock(id, name, "</STYLE>", nameEnd + 1, false);
          break;
        case TagId::Title:
          i = ProcessBlock(id, name, "</TITLE>", nameEnd + 1, false);
          break;
        case TagId::Script:
          i = ProcessBlock(id, name, "</SCRIPT>", nameEnd + 1, false);
          break;
        case TagId::Php:
          i = ProcessBlock(id, name, "?>", i + 1, true);
          break;
        case TagId::ServerPage:
          i = ProcessBlock(id, name, "%>", i + 1, true);
          break;
        default: {
          // A plain tag ends at the first ">" outside quotes. The name's end
          // stands outside quotes, so the search goes on from there.
          std::size_t tagEnd = n - 1;
          if (stop != npos) {
            const std::size_t gt = text[stop] == '>'
                                       ? stop
                                       : FindOutsideQuotes(text, stop + 1, kTagStops);
            if (gt != npos) tagEnd = gt;
          }
          ProcessTag(id, name, std::min(nameEnd + 1, tagEnd), tagEnd);
          i = tagEnd + 1;
          break;
        }
      }
    }
  }

  // Processes the block that starts at From and ends at the first Delimiter
  // after it; returns where the walk goes on. A block whose delimiter is
  // missing takes the rest of the text and ends the scan.
  std::size_t ProcessBlock(TagId Id, std::string_view Name,
                           std::string_view Delimiter, std::size_t From,
                           bool DelimiterInBlock) {
    doc_.closingDelimiter_.assign(Delimiter);
    const std::size_t n = text_.size();
    From = std::min(From, n);
    const std::size_t at = FindCaseless(text_, Delimiter, From);
    if (at == npos) {
      ProcessTag(Id, Name, From, n);
      return n;
    }
    const std::size_t after = at + Delimiter.size();
    ProcessTag(Id, Name, From, DelimiterInBlock ? after : at);
    return after;
  }

  void ProcessTag(TagId Id, std::string_view Name, std::size_t From,
                  std::size_t To) {
    const std::string_view text = text_.substr(From, To - From);
    doc_.TagName.assign(Name);
    std::string& link = link_;
    link.clear();
    switch (Id) {
      case TagId::A:
      case TagId::Area:
      case TagId::Link:
        ReadAttributeValue(text, "HREF", link);
        break;
      case TagId::Img:
      case TagId::Frame:
      case TagId::IFrame:
      case TagId::BgSound:
        ReadAttributeValue(text, "SRC", link);
        break;
      case TagId::Body:
        ReadAttributeValue(text, "BACKGROUND", link);
        break;
      case TagId::Style:
        ScanCallReferences(text, kStylePatterns);
        break;
      case TagId::Meta: {
        const std::string metaName = UpperCopy(GetAttributeValue(text, "NAME"));
        if (metaName == "KEYWORD")
          doc_.Keywords = GetAttributeValue(text, "CONTENT");
        else if (metaName == "DESCRIPTION")
          doc_.Description = GetAttributeValue(text, "CONTENT");
        break;
      }
      case TagId::Title:
        doc_.Title.assign(text);
        break;
      case TagId::Script:
        ReadAttributeValue(text, "SRC", link);
        if (link.empty()) RaiseScript("SCRIPT", text);
        break;
      case TagId::Php:
        ScanCallReferences(text, kPhpCalls);
        RaiseScript(Name, text);
        break;
      case TagId::ServerPage:
        RaiseScript(Name, text);
        break;
      case TagId::Ignored:
        break;
    }
    Report(link);
  }

  template <std::size_t N>
  void ScanCallReferences(std::string_view Text,
                          const std::string_view (&Names)[N]) {
    for (std::string_view name : Names) {
      std::size_t at = 0;
      while ((at = Find(Text, name, at)) != npos) {
        at += name.size();
        const bool call = (at < Text.size() && Text[at] == '(') ||
                          (at + 1 < Text.size() && Text[at + 1] == '(');
        if (!call) continue;
        Report(GetCallArgument(Text.substr(at)));
        at = Text.find(')', at);
        if (at == npos) break;
      }
    }
  }

  void Report(const std::string& Link) {
    if (Link.empty() || Link == "#" || !doc_.OnFoundHyperlink) return;
    doc_.OnFoundHyperlink(&doc_, Link);
  }

  void RaiseScript(std::string_view Name, std::string_view Tag) {
    if (!doc_.OnFoundScript) return;
    doc_.OnFoundScript(&doc_, std::string(Name), std::string(Tag));
  }

  THREFDocument& doc_;
  const bool nested_;
  std::string ownText_;
  std::string link_;  // the link of the tag being processed
  std::string& textBuf_;
  std::string_view text_;  // the scanned text: textBuf_ or the caller's text
};

void THREFDocument::Parse() { HtmlScan(*this).Run(nullptr); }

void THREFDocument::ParseText(std::string_view Text) { HtmlScan(*this).Run(&Text); }

}  // namespace leafstash
