// Console output and console line input. Output goes to the text window when
// the program has opened one, else to standard output, written through at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/console/keyboard.hpp"
#include "runtime/console/line_editor.hpp"
#include "runtime/console/window.hpp"
#include "runtime/platform/platform.hpp"
#include "runtime/text/text.hpp"

namespace rt {

class Console {
 public:
  Console(Platform& platform, Keyboard& keyboard) : platform_(platform), keyboard_(keyboard) {}

  // On a terminal control bytes are shown in caret notation; elsewhere every
  // byte goes out as it is.
  void print(std::string_view bytes);
  // The bytes and a line end, written through in one piece.
  void print_line(std::string_view bytes);
  // Shows what the window holds back; console output is never held back.
  void flush();
  // Reads a reply with the line editor. On a terminal the reply is drawn as it
  // is typed, on the row of the prompt, scrolling sideways when it is wider
  // than the room left; elsewhere the finished reply is written once. The end
  // of input ends the reply as Enter would.
  Text input_line(std::string_view prompt, bool question_mark, bool line_end);

  void open_window(std::string title);
  void close_window();
  const Window* window() const { return window_.get(); }

 private:
  // Draws the row again: the prompt, the part of the reply that fits, and the
  // cursor in its place.
  void draw_reply(const LineEditor& editor);

  Platform& platform_;
  Keyboard& keyboard_;
  std::unique_ptr<Window> window_;
  std::string row_;                // what the terminal shows left of the cursor on its row
  std::string line_;               // the line print_line is writing
  std::size_t first_shown_ = 0;    // the first byte of the reply that is drawn
  std::size_t drawn_columns_ = 0;  // the row's columns up to the last character drawn
};

}  // namespace rt
