#include "runtime/console/line_editor.hpp"

#include "runtime/platform/platform.hpp"
#include "runtime/text/utf8.hpp"

namespace rt {

std::size_t LineEditor::length_before_cursor() const {
  return utf8_ ? utf8_length_before(reply_, cursor_) : 1;
}

std::size_t LineEditor::length_at_cursor() const {
  return utf8_ ? utf8_length_at(reply_, cursor_) : 1;
}

LineEditor::Outcome LineEditor::feed(int code) {
  const auto width = static_cast<std::size_t>(screen_width_);
  switch (code) {
    case kKeyEnter:
    case kKeyLineFeed:
      return Outcome::done;
    case kKeyBackspace:
      if (cursor_ > 0) {
        const std::size_t length = length_before_cursor();
        cursor_ -= length;
        reply_.erase(cursor_, length);
      }
      return Outcome::editing;
    case kKeyTab: {
      const std::size_t blanks = 8 - cursor_ % 8;
      reply_.insert(cursor_, blanks, ' ');
      cursor_ += blanks;
      return Outcome::editing;
    }
    case kKeyEscape:
      reply_.clear();
      cursor_ = 0;
      return Outcome::editing;
    case kKeyLeft:
      if (cursor_ > 0) {
        cursor_ -= length_before_cursor();
      }
      return Outcome::editing;
    case kKeyRight:
      if (cursor_ < reply_.size()) {
        cursor_ += length_at_cursor();
      }
      return Outcome::editing;
    case kKeyHome:
      cursor_ = 0;
      return Outcome::editing;
    case kKeyEnd:
      cursor_ = reply_.size();
      return Outcome::editing;
    case kKeyUp:
      if (cursor_ >= width) {
        cursor_ -= width;
      }
      return Outcome::editing;
    case kKeyDown:
      if (cursor_ + width <= reply_.size()) {
        cursor_ += width;
      }
      return Outcome::editing;
    case kKeyDelete:
      if (cursor_ == reply_.size()) {
        return Outcome::beep;
      }
      reply_.erase(cursor_, length_at_cursor());
      return Outcome::editing;
    default:
      if (code >= 32 && code <= 255) {
        reply_.insert(cursor_, 1, static_cast<char>(code));
        ++cursor_;
      }
      // Other control codes and keys without a character are ignored.
      return Outcome::editing;
  }
}

}  // namespace rt
