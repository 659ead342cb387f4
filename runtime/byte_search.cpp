#include "runtime/byte_search.hpp"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rt {
namespace {

bool matches_at(const char* at, std::string_view pattern) {
  return std::memcmp(at, pattern.data(), pattern.size()) == 0;
}

// Place by place, the first two bytes before the rest.
std::size_t find_one_by_one(const char* data, std::size_t from, std::size_t last, std::string_view pattern) {
  for (std::size_t at = from; at <= last; ++at) {
    if (data[at] == pattern[0] && data[at + 1] == pattern[1] && matches_at(data + at, pattern)) {
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::size_t find_bytes(std::string_view text, std::string_view pattern, std::size_t from) {
  if (from > text.size() || pattern.size() > text.size() - from) {
    return std::string_view::npos;
  }
  if (pattern.size() < 2) {
    return pattern.empty() ? from : text.find(pattern.front(), from);
  }
  const char* const data = text.data();
  // The last place the pattern can begin.
  const std::size_t last = text.size() - pattern.size();
#if defined(__SSE2__)
  constexpr std::size_t kBlock = 16;
  if (last - from + 1 < kBlock) {
    return find_one_by_one(data, from, last, pattern);
  }
  const __m128i first = _mm_set1_epi8(pattern[0]);
  const __m128i second = _mm_set1_epi8(pattern[1]);
  for (std::size_t at = from;;) {
    // Sixteen places a block, each a bit of the mask when its first two bytes
    // match. The last block ends at the last place and may overlap the one
    // before, whose places held no match.
    const std::size_t block = std::min(at, last + 1 - kBlock);
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + block));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + block + 1));
    for (auto places = static_cast<unsigned>(
             _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, first), _mm_cmpeq_epi8(next, second))));
         places != 0; places &= places - 1) {
      const std::size_t start = block + static_cast<std::size_t>(__builtin_ctz(places));
      if (matches_at(data + start, pattern)) {
        return start;
      }
    }
    if (block + kBlock > last) {
      return std::string_view::npos;
    }
    at = block + kBlock;
  }
#else
  return find_one_by_one(data, from, last, pattern);
#endif
}

}  // namespace rt
