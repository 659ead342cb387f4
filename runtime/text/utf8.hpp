// Where UTF-8 characters begin and end in a byte string, for an editor that
// moves over and erases a multi-byte character as one.
#pragma once

#include <cstddef>
#include <string_view>

namespace rt {

// The length of the UTF-8 character that starts at pos: 2 to 4 for a whole
// multi-byte character, else 1 (one byte, whatever it is).
std::size_t utf8_length_at(std::string_view text, std::size_t pos);
// The length of the UTF-8 character that ends right before pos, counted the same way.
std::size_t utf8_length_before(std::string_view text, std::size_t pos);

}  // namespace rt
