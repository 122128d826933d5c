// Generated inputs for the benchmarks: deterministic, so runs compare.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace leafstash::bench {

// A page of about Bytes bytes, as lines: many tags with quoted and unquoted
// attributes, links, pictures, scripts, style blocks, comments and text.
std::vector<std::string> RealisticPageLines(std::size_t Bytes);

// About Bytes bytes of hostile markup: unclosed quotes after "<", long runs
// of "<", attribute names without values, blocks whose end is far away or
// missing, "<?" without "?>".
std::vector<std::string> HostilePageLines(std::size_t Bytes);

std::string JoinLines(const std::vector<std::string>& Lines);

}  // namespace leafstash::bench
