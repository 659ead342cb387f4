// Conversions between texts and numbers, as both converters read and write them.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/text/text.hpp"

namespace rt {

// Reads a number the way a typed value is read: leading blanks, the "&H", "&O",
// "&B" and "&" radix forms, "d" exponents, inf and nan; anything unreadable is 0.
double parse_number(std::string_view text);

// "%.16g" with an exponent of at least three digits: 1e16 is "1e+016".
Text format_number(double value);

// Nearest integer, ties to even; NaN, infinities and out-of-range values give
// the lowest 32-bit integer.
std::int32_t to_integer(double value);

}  // namespace rt
