// Text from a score or a typed name as a terminal shows it: control bytes
// (below 32 except CR and LF, and 127) in caret notation (ESC as "^["), so
// that no score can move the cursor, clear the screen or set the title.
#pragma once

#include <string>
#include <string_view>

namespace rt {

bool is_control_byte(unsigned char byte);
// Every control byte as "^" and its letter; every other byte as it is.
std::string caret_notation(std::string_view bytes);

}  // namespace rt
