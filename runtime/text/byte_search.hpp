// The substring search under find_text and the bulk line skip, and the byte
// search under the line readers. Every pattern the converters look for
// begins with "<", which most lines hold twice or more: over a run of lines a
// search that stops at each "<" costs more than the lines take to pass, so
// find_bytes looks at sixteen places at once for the pattern's first two bytes.
#pragma once

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rt {

// Where pattern first begins in text at or after from, or npos; an empty
// pattern is found at from.
std::size_t find_bytes(std::string_view text, std::string_view pattern, std::size_t from = 0);

// Where byte first is in text at or after from, or npos. Inline: a score line
// is a block or two long, and the line readers look for its end and its first
// ">" on every line, where a call would cost more than the look.
inline std::size_t find_byte(std::string_view text, char byte, std::size_t from = 0) {
  std::size_t at = from;
#if defined(__SSE2__)
  constexpr std::size_t kBlock = 16;
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; at + kBlock <= text.size(); at += kBlock) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    const auto places = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, wanted)));
    if (places != 0) {
      return at + static_cast<std::size_t>(__builtin_ctz(places));
    }
  }
#endif
  for (; at < text.size(); ++at) {
    if (text[at] == byte) {
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace rt
