#include "runtime/text/numbers.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace rt {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool starts_with_word(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) {
    return false;
  }
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (lower(text[i]) != word[i]) {
      return false;
    }
  }
  return true;
}

int digit_value(char c, int base) {
  int value = -1;
  if (is_digit(c)) {
    value = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value < base ? value : -1;
}

double parse_radix(std::string_view digits, int base) {
  // Accumulates as a 64-bit two's-complement value that wraps on overflow.
  std::uint64_t value = 0;
  for (const char c : digits) {
    const int d = digit_value(c, base);
    if (d < 0) {
      break;
    }
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  return static_cast<double>(static_cast<std::int64_t>(value));
}

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

double parse_decimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::string_view rest = text.substr(i);
  if (starts_with_word(rest, "inf")) {
    return negative ? -HUGE_VAL : HUGE_VAL;
  }
  if (starts_with_word(rest, "nan")) {
    return std::numeric_limits<double>::quiet_NaN();
  }

  // Most numbers in a score are a few plain digits: read those exactly here.
  {
    std::size_t end = i;
    std::int64_t whole = 0;
    while (end < text.size() && end - i < 15 && is_digit(text[end])) {
      whole = whole * 10 + (text[end] - '0');
      ++end;
    }
    const bool continues =
        end < text.size() && (is_digit(text[end]) || text[end] == '.' || text[end] == 'e' ||
                              text[end] == 'E' || text[end] == 'd' || text[end] == 'D');
    if (end > i && !continues) {
      const auto value = static_cast<double>(whole);
      return negative ? -value : value;
    }
  }

  // Gather only the characters that continue a plain decimal number, so that the
  // C library never sees hexadecimal or other forms it would accept on its own.
  std::string number;
  bool any_digit = false;
  while (i < text.size() && is_digit(text[i])) {
    number += text[i++];
    any_digit = true;
  }
  if (i < text.size() && text[i] == '.') {
    number += text[i++];
    while (i < text.size() && is_digit(text[i])) {
      number += text[i++];
      any_digit = true;
    }
  }
  if (!any_digit) {
    return 0.0;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      exponent += text[j++];
    }
    if (j < text.size() && is_digit(text[j])) {
      while (j < text.size() && is_digit(text[j])) {
        exponent += text[j++];
      }
      number += exponent;
    }
  }
  // strtod rounds correctly to the nearest double and saturates to infinity or
  // zero; the program never changes the numeric locale, so the point is ".".
  const double value = std::strtod(number.c_str(), nullptr);
  return negative ? -value : value;
}

}  // namespace

double parse_number(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return 0.0;
  }
  const std::string_view rest = text.substr(first);
  if (rest.size() >= 2 && rest[0] == '&') {
    switch (rest[1]) {
      case 'H':
      case 'h':
        return parse_radix(rest.substr(2), 16);
      case 'O':
      case 'o':
        return parse_radix(rest.substr(2), 8);
      case 'B':
      case 'b':
        return parse_radix(rest.substr(2), 2);
      default:
        return parse_radix(rest.substr(1), 8);
    }
  }
  if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    return 0.0;
  }
  // The "d" exponent is folded into "e" by the decimal reader itself.
  return parse_decimal(rest);
}

Text format_number(double value) {
  if (std::isnan(value)) {
    return "nan";
  }
  if (std::isinf(value)) {
    return value < 0 ? "-inf" : "inf";
  }
  if (value == 0.0) {
    return "0";  // also for -0, which is not a negative value
  }
  // Whole numbers below 10^16 are written as plain integers by "%.16g" too.
  if (std::fabs(value) < 1e16 && value == std::trunc(value)) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<std::int64_t>(value)).ptr;
    return Text(digits, end);
  }
  char buffer[64];
  const int written = std::snprintf(buffer, sizeof buffer, "%.16g", value);
  Text text(buffer, static_cast<std::size_t>(written));
  const auto e = text.find('e');
  if (e != Text::npos) {
    // Widen the exponent to three digits after its sign.
    const std::size_t digits_at = e + 2;
    const std::size_t digits = text.size() - digits_at;
    if (digits < 3) {
      text.insert(digits_at, 3 - digits, '0');
    }
  }
  return text;
}

std::int32_t to_integer(double value) {
  constexpr std::int32_t kInvalid = std::numeric_limits<std::int32_t>::min();
  if (!std::isfinite(value)) {
    return kInvalid;
  }
  // The default rounding mode is to nearest with ties to even.
  const double rounded = std::nearbyint(value);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) {
    return kInvalid;
  }
  return static_cast<std::int32_t>(rounded);
}

}  // namespace rt
