#include "runtime/text/utf8.hpp"

namespace rt {
namespace {

bool continuation(unsigned char byte) {
  return (byte & 0xC0U) == 0x80U;
}

// How many bytes a character with this first byte has; 1 for a byte that starts none.
std::size_t expected_length(unsigned char first) {
  if (first >= 0xC2 && first <= 0xDF) {
    return 2;
  }
  if (first >= 0xE0 && first <= 0xEF) {
    return 3;
  }
  if (first >= 0xF0 && first <= 0xF4) {
    return 4;
  }
  return 1;
}

}  // namespace

std::size_t utf8_length_at(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) {
    return 1;
  }
  const std::size_t length = expected_length(static_cast<unsigned char>(text[pos]));
  if (pos + length > text.size()) {
    return 1;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (!continuation(static_cast<unsigned char>(text[pos + i]))) {
      return 1;
    }
  }
  return length;
}

std::size_t utf8_length_before(std::string_view text, std::size_t pos) {
  for (std::size_t length = 2; length <= 4 && length <= pos; ++length) {
    if (utf8_length_at(text, pos - length) == length) {
      return length;
    }
  }
  return 1;
}

}  // namespace rt
