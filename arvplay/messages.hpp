// arvplay's messages stay a line a person can read, whatever the input.
#pragma once

#include <cstddef>
#include <string>

namespace arvplay {

// A message up to kLongestMessage bytes as it is; of a longer one its start
// and its end (where the position is told) around "...", each cut at a
// character's start, so that a 10 MB line is no 10 MB message.
inline constexpr std::size_t kLongestMessage = 1000;
std::string cut_message(const std::string& message);

}  // namespace arvplay
