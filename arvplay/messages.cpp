#include "arvplay/messages.hpp"

namespace arvplay {
namespace {

constexpr std::size_t kTail = 200;

// The offset itself, or the nearest before it where a UTF-8 character starts.
std::size_t character_start(const std::string& text, std::size_t offset) {
  while (offset > 0 && (static_cast<unsigned char>(text[offset]) & 0xC0U) == 0x80U) {
    --offset;
  }
  return offset;
}

}  // namespace

std::string cut_message(const std::string& message) {
  if (message.size() <= kLongestMessage) {
    return message;
  }
  const std::size_t head = character_start(message, kLongestMessage - kTail - 3);
  const std::size_t tail = character_start(message, message.size() - kTail);
  return message.substr(0, head) + "..." + message.substr(tail);
}

}  // namespace arvplay
