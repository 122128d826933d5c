// The references of a page or a style sheet, with where each stands in the
// text: what the saving engine downloads with a page, and what it rewrites
// in the saved copy. Unlike the hyperlink scanner, which reports link texts
// only, every reference here is a byte range of the scanned text, so a
// rewrite replaces exactly that range and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace leafstash {

// What a reference asks of the engine.
enum class TRefRole : std::uint8_t {
  Anchor,      // a page linked by a or area: taken only when chosen
  Reference,   // named but never loaded by the browser (link rel=canonical...)
  Picture,     // a picture the page shows (the picture options apply)
  Frame,       // the page of a frame or iframe
  StyleSheet,  // a style sheet (linked, imported, preloaded as style)
  Resource,    // scripts, media, fonts, objects, tracks, SVG sprites
  Base,        // the href of the first <base>: its range is the attribute
  Integrity,   // an integrity or crossorigin attribute: its range is the
               // attribute with the blanks before it
  SrcDoc,      // the HTML of an iframe's srcdoc (Url holds it decoded)
};

// How a replacement must be written where the reference stands.
enum class TRefContext : std::uint8_t {
  HtmlAttribute,  // an attribute value: "&" written "&amp;"
  Css,            // a style sheet or <style>: "(" and ")" escaped
  CssInAttribute, // CSS in a style attribute: both
};

struct TResourceRef {
  std::size_t Offset = 0;  // the reference's bytes in the scanned text
  std::size_t Length = 0;
  std::string Url;  // what it stands for: entities and escapes decoded,
                    // tabs and line breaks removed, trimmed
  TRefRole Role = TRefRole::Resource;
  TRefContext Context = TRefContext::HtmlAttribute;
  std::uint32_t Tag = 0;  // references of one element share this number
};

// Every reference of an HTML page, in text order. Comments, scripts and the
// text of textarea and title are not looked into; <style> blocks and style
// attributes are read as CSS.
std::vector<TResourceRef> ScanPageRefs(std::string_view Html);

// What the text of a reference as written stands for: character
// references decoded in attributes, CSS escapes in CSS; tabs and line
// breaks removed and blanks trimmed (attributes), quotes written as
// references dropped (CSS in attributes).
std::string DecodeRefText(std::string_view Raw, TRefContext Context);

// The character set a page declares in its first 1024 bytes, as a browser
// looks for it (<meta charset> or <meta http-equiv content="...charset=">),
// lower case; empty when it declares none.
std::string DeclaredCharset(std::string_view Html);

// Every url(), @import and image-set() reference of a style sheet, in text
// order: imported sheets as StyleSheet, @font-face sources as Resource,
// the rest as Picture. Offset is added to each position; Tag is given to
// each reference.
void ScanCssRefs(std::string_view Css, std::size_t Offset, TRefContext Context,
                 std::uint32_t Tag, std::vector<TResourceRef>& Out);

// The candidates of a srcset value as browsers split them: each URL runs to
// the next blank, commas at its end separate candidates, a descriptor runs
// to the next comma outside parentheses. Reported with role Picture, their
// positions offset by Offset.
void ScanSrcset(std::string_view Value, std::size_t Offset, std::uint32_t Tag,
                std::vector<TResourceRef>& Out);

}  // namespace leafstash
