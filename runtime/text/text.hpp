// Byte-string text operations. Positions count from 1; no operation fails:
// out-of-range starts and counts simply give the empty or shortest result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rt {

using Text = std::string;

std::int32_t text_length(std::string_view text);
std::int32_t find_text(std::int32_t start, std::string_view text, std::string_view pattern);
Text mid_text(std::string_view text, std::int32_t start, std::int32_t count = -1);
Text trim_left(std::string_view text);
int compare_text(std::string_view a, std::string_view b);
Text join_text(std::string_view a, std::string_view b);
// Inline: the converters append a few bytes at a time, once per note or more.
inline void append_text(Text& variable, std::string_view b) {
  variable.append(b);
}
Text repeat_char(std::int32_t count, std::string_view text);
Text char_text(std::int32_t code);

// The truth values of the runtime's tests.
inline constexpr std::int32_t kTrue = -1;
inline constexpr std::int32_t kFalse = 0;

}  // namespace rt
