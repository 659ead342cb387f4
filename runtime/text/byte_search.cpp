#include "runtime/text/byte_search.hpp"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rt {
namespace {

// Patterns are a few bytes long: comparing them here costs less than a call.
bool matches_at(const char* at, std::string_view pattern) {
  for (std::size_t i = 2; i < pattern.size(); ++i) {
    if (at[i] != pattern[i]) {
      return false;
    }
  }
  return true;
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
  // Sixteen places a block, each a bit of the mask when its first two bytes match.
  const auto candidates = [&](std::size_t block) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + block));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + block + 1));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, first), _mm_cmpeq_epi8(next, second))));
  };
  const auto match_in = [&](std::size_t block, unsigned places) {
    for (; places != 0; places &= places - 1) {
      const std::size_t start = block + static_cast<std::size_t>(__builtin_ctz(places));
      if (matches_at(data + start, pattern)) {
        return start;
      }
    }
    return std::string_view::npos;
  };
  std::size_t block = from;
  // Two blocks a turn while both lie before the last place.
  for (; block + 2 * kBlock <= last + 1; block += 2 * kBlock) {
    const unsigned low = candidates(block);
    const unsigned high = candidates(block + kBlock);
    if ((low | high) != 0) {
      const std::size_t found = match_in(block, low | (high << kBlock));
      if (found != std::string_view::npos) {
        return found;
      }
    }
  }
  // The rest, the last block ending at the last place and perhaps overlapping
  // the one before, whose places held no match.
  for (;;) {
    block = std::min(block, last + 1 - kBlock);
    const std::size_t found = match_in(block, candidates(block));
    if (found != std::string_view::npos || block + kBlock > last) {
      return found;
    }
    block += kBlock;
  }
#else
  return find_one_by_one(data, from, last, pattern);
#endif
}

}  // namespace rt
