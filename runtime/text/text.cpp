#include "runtime/text/text.hpp"

#include <algorithm>
#include <limits>

#include "runtime/text/byte_search.hpp"

namespace rt {

std::int32_t text_length(std::string_view text) {
  // A text never exceeds the 32-bit length; longer views are clamped.
  return static_cast<std::int32_t>(
      std::min<std::size_t>(text.size(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t find_text(std::int32_t start, std::string_view text, std::string_view pattern) {
  const std::int32_t length = text_length(text);
  if (text.empty() || pattern.empty() || start < 1 || start > length || text.size() < pattern.size()) {
    return 0;
  }
  const auto at = find_bytes(text, pattern, static_cast<std::size_t>(start - 1));
  return at == std::string_view::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

Text mid_text(std::string_view text, std::int32_t start, std::int32_t count) {
  const std::int32_t length = text_length(text);
  if (text.empty() || start < 1 || start > length || count == 0) {
    return {};
  }
  const auto from = static_cast<std::size_t>(start - 1);
  if (count < 0) {
    return Text(text.substr(from));
  }
  return Text(text.substr(from, static_cast<std::size_t>(count)));
}

Text trim_left(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? Text() : Text(text.substr(first));
}

int compare_text(std::string_view a, std::string_view b) {
  // string_view compares through char_traits<char>, which orders bytes as unsigned.
  const int order = a.compare(b);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

Text join_text(std::string_view a, std::string_view b) {
  Text joined;
  joined.reserve(a.size() + b.size());
  joined.append(a);
  joined.append(b);
  return joined;
}

Text repeat_char(std::int32_t count, std::string_view text) {
  if (count <= 0 || text.empty()) {
    return {};
  }
  return Text(static_cast<std::size_t>(count), text.front());
}

Text char_text(std::int32_t code) {
  return Text(1, static_cast<char>(static_cast<std::uint32_t>(code) & 0xFFU));
}

}  // namespace rt
