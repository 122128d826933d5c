// The tag scanner used on pages saved by an earlier job: reports every tag
// with its class and its attributes as "name=value" lines (values as
// written, quotes included), except comments and tags that begin with "!",
// "#", "%" or "?", and except what stands inside a SCRIPT element.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace leafstash {

enum class TTagClass { Other = 0, Img = 1, Script = 2, Link = 3, A = 4, Frame = 5 };

using TTagHandler =
    std::function<void(TTagClass Class, const std::vector<std::string>& Attributes)>;

void ScanTags(std::string_view Html, const TTagHandler& OnTag);

// The value of attribute line Index: the text after its first "=", trimmed
// of blanks and control bytes, without the quote it begins with and the
// same quote at its end; empty when Index is outside the list.
std::string GetParamValue(const std::vector<std::string>& Attributes, std::size_t Index);

}  // namespace leafstash
