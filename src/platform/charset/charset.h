// Text in a page's declared character set, as UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace leafstash {

// True when the label names UTF-8 (or nothing): no conversion is needed.
bool IsUtf8Label(std::string_view Label);

// Text read in the character set Label names (as a page's charset
// declaration names it; "iso-8859-1" and "us-ascii" read as windows-1252,
// as browsers read them), written in UTF-8. Nothing when the set is
// unknown or the text is not valid in it.
std::optional<std::string> ConvertToUtf8(std::string_view Text, std::string_view Label);

}  // namespace leafstash
