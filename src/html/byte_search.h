// Byte searches the scanners share: the first of a few bytes, sixteen at a
// time where the processor allows it, and a text in either letter case.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace leafstash {

constexpr unsigned char Upper(unsigned char C) {
  return static_cast<unsigned char>(C - ((C >= 'a' && C <= 'z') ? 32 : 0));
}

// Offset of the first byte at or after From that is one of Set; N when
// there is none. Sixteen bytes at a time where the processor allows it.
template <std::size_t K>
inline std::size_t FindFirstOf(const unsigned char* P, std::size_t From, std::size_t N,
                               const std::array<char, K>& Set) {
  std::size_t i = From;
#if defined(__SSE2__)
  __m128i needles[K];
  for (std::size_t k = 0; k < K; ++k) needles[k] = _mm_set1_epi8(Set[k]);
  for (; i + 16 <= N; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + i));
    __m128i hit = _mm_cmpeq_epi8(block, needles[0]);
    for (std::size_t k = 1; k < K; ++k) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(block, needles[k]));
    if (const int mask = _mm_movemask_epi8(hit)) return i + __builtin_ctz(mask);
  }
#endif
  for (; i < N; ++i)
    for (char c : Set)
      if (P[i] == static_cast<unsigned char>(c)) return i;
  return N;
}

// Offset of the upper-case Needle in Text at or after From, ignoring ASCII
// case, or npos.
inline std::size_t FindCaseless(std::string_view Text, std::string_view Needle,
                                std::size_t From = 0) {
  if (Needle.empty() || From > Text.size() || Needle.size() > Text.size() - From)
    return std::string_view::npos;
  const unsigned char* t = reinterpret_cast<const unsigned char*>(Text.data());
  const char first = Needle[0];
  const std::array<char, 2> firsts = {first, static_cast<char>(first | 0x20)};
  const std::size_t end = Text.size() - Needle.size() + 1;
  for (std::size_t i = FindFirstOf(t, From, end, firsts); i < end;
       i = FindFirstOf(t, i + 1, end, firsts)) {
    std::size_t k = 0;
    while (k < Needle.size() && Upper(t[i + k]) == static_cast<unsigned char>(Needle[k])) ++k;
    if (k == Needle.size()) return i;
  }
  return std::string_view::npos;
}

}  // namespace leafstash
