// The substring search under find_text and the bulk line skip. Score lines are
// short and every pattern the converters look for begins with "<", which most
// lines hold twice or more: a search that stops at each "<" costs more than the
// line takes to pass, so this one looks at sixteen places at once.
#pragma once

#include <cstddef>
#include <string_view>

namespace rt {

// Where pattern first begins in text at or after from, or npos; an empty
// pattern is found at from.
std::size_t find_bytes(std::string_view text, std::string_view pattern, std::size_t from = 0);

}  // namespace rt
