// The reply editor behind console line input: a small state machine over key
// codes, free of any terminal, so that it can be driven by scripted keys.
#pragma once

#include <cstddef>
#include <string>

namespace rt {

class LineEditor {
 public:
  enum class Outcome { editing, done, beep };

  explicit LineEditor(int screen_width = 80) : screen_width_(screen_width > 0 ? screen_width : 80) {}

  Outcome feed(int code);

  const std::string& reply() const { return reply_; }
  std::size_t cursor() const { return cursor_; }

 private:
  std::string reply_;
  std::size_t cursor_ = 0;  // 0 = before the first character
  int screen_width_;
};

}  // namespace rt
