#include "runtime/text/caret_notation.hpp"

#include <algorithm>

namespace rt {

bool is_control_byte(unsigned char byte) {
  return (byte < 32 && byte != '\r' && byte != '\n') || byte == 127;
}

std::string caret_notation(std::string_view bytes) {
  const bool plain = std::none_of(bytes.begin(), bytes.end(),
                                  [](char c) { return is_control_byte(static_cast<unsigned char>(c)); });
  if (plain) {
    return std::string(bytes);
  }
  std::string shown;
  shown.reserve(bytes.size() + 16);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (is_control_byte(byte)) {
      shown += '^';
      shown += static_cast<char>(byte ^ 0x40U);  // 0 -> @, 27 -> [, 127 -> ?
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace rt
