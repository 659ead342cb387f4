// Run-time error numbers, their messages and the report a run-time error leaves.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/text/text.hpp"

namespace rt {

inline constexpr std::int32_t kErrOutOfMemory = 4;
inline constexpr std::int32_t kErrOutOfBounds = 6;

// The message of error numbers 0 to 17; nothing for any other number.
std::optional<std::string_view> error_message(std::int32_t number);

// The report of a run-time error, at most kMaxReport bytes:
// "\nAborting due to runtime error 6 (out of bounds array access) at line 106 of arvonic()\n\n".
// source_line 0 or below names no line; an absent module gives no module piece.
inline constexpr std::size_t kMaxReport = 1023;
Text compose_report(std::int32_t number, std::int32_t source_line, std::optional<std::string_view> module);

// True when index lies within 0 to upper_bound, both taken as unsigned 32-bit
// numbers, so that a negative index fails as well.
bool index_within(std::int32_t index, std::int32_t upper_bound);

}  // namespace rt
