// The reply editor behind console line input: a small state machine over key
// codes, free of any terminal, so that it can be driven by scripted keys.
#pragma once

#include <cstddef>
#include <string>

namespace rt {

class LineEditor {
 public:
  enum class Outcome { editing, done, beep };

  // With utf8, Left, Right, Backspace and Delete move over and erase a whole
  // UTF-8 character; without, every byte is a character.
  explicit LineEditor(int screen_width = 80, bool utf8 = false)
      : screen_width_(screen_width > 0 ? screen_width : 80), utf8_(utf8) {}

  Outcome feed(int code);

  const std::string& reply() const { return reply_; }
  std::size_t cursor() const { return cursor_; }

 private:
  std::size_t length_before_cursor() const;
  std::size_t length_at_cursor() const;

  std::string reply_;
  std::size_t cursor_ = 0;  // 0 = before the first character
  int screen_width_;
  bool utf8_;
};

}  // namespace rt
