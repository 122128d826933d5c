// The hyperlink scanner: finds the references a saved copy of a page needs
// (links, pictures, frames, sounds, style sheets, script files, url(...) in
// style blocks, file arguments of PHP calls) and reports each one as an
// event; script and server-page blocks are reported as code. It only
// reports and never changes the HTML.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "html/href.h"

namespace leafstash {

// An ordered list of strings kept sorted (byte order); duplicates are
// silently ignored.
class THREFList {
 public:
  // False when the text was already in the list.
  bool Add(std::string Text);
  // Index of Text, or -1.
  int IndexOf(std::string_view Text) const;
  std::size_t Count() const { return items_.size(); }
  const std::string& operator[](std::size_t Index) const { return items_[Index]; }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::string> items_;
};

class THREFDocument;

using TOnFoundHREF =
    std::function<void(THREFDocument* Sender, const std::string& Hyperlink)>;
using TOnFoundScript =
    std::function<void(THREFDocument* Sender, const std::string& TagName,
                       const std::string& Tag)>;

class THREFDocument {
 public:
  THREFDocument() = default;
  THREFDocument(const THREFDocument&) = delete;
  THREFDocument& operator=(const THREFDocument&) = delete;

  // Copies the hyperlink list, URL, lines, title, keywords and description;
  // not the handlers and not TagName.
  void Assign(const THREFDocument& Other);

  // Scans Lines once and empties them (except for pictures, applets and
  // binary files, which are not scanned at all).
  void Parse();
  // Scans Text as if it had been split into Lines at its line breaks (CR LF,
  // LF or CR) and each line had been given: the same events, without
  // building the lines. Lines are left empty, or hold the text's lines when
  // its kind is not scanned. Text must not change while the scan runs.
  void ParseText(std::string_view Text);

  THREFList Hyperlinks;
  THREF URL;  // its kind decides the scan mode: style sheet or HTML
  std::vector<std::string> Lines;
  std::string Title;
  std::string Keywords;
  std::string Description;
  TOnFoundHREF OnFoundHyperlink;
  TOnFoundScript OnFoundScript;
  // Upper-case name of the tag being processed; names the tag of each
  // reported link.
  std::string TagName;

 private:
  friend class HtmlScan;
  std::string closingDelimiter_;
  // Scratch text of the scan: the joined lines.
  std::string scanText_;
  bool scanning_ = false;
};

class THREFParser {
 public:
  THREFDocument& Document() { return document_; }
  const THREFDocument& Document() const { return document_; }

  const std::vector<std::string>& HTML() const { return document_.Lines; }
  // Takes the lines and scans them at once; every event fires in here.
  void SetHTML(std::vector<std::string> Lines);
  void Parse() { document_.Parse(); }
  // The same for a whole text, such as a page read from a file.
  void SetHTMLText(std::string_view Text) { document_.ParseText(Text); }

  const TOnFoundHREF& OnFoundHyperlink() const { return document_.OnFoundHyperlink; }
  void SetOnFoundHyperlink(TOnFoundHREF Handler) {
    document_.OnFoundHyperlink = std::move(Handler);
  }
  const TOnFoundScript& OnFoundScript() const { return document_.OnFoundScript; }
  void SetOnFoundScript(TOnFoundScript Handler) {
    document_.OnFoundScript = std::move(Handler);
  }

 private:
  THREFDocument document_;
};

// Attribute value as the scanner extracts it from a tag's text: the first
// occurrence of UpperName (upper case) in the text, ASCII case ignored, then
// the value after "=" with quotes removed, "+" read as a space and the
// spaces before the value kept.
std::string GetAttributeValue(std::string_view Text, std::string_view UpperName);

// The first argument of the call whose "(" follows the start of Text, with
// quotes dropped; an argument holding "Location:" gives what follows it.
std::string GetCallArgument(std::string_view Text);

}  // namespace leafstash
