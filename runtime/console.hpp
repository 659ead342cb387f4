// Console output and console line input. Output goes to the text window when
// the program has opened one, else to standard output, written through at once.
#pragma once

#include <memory>
#include <string_view>

#include "runtime/keyboard.hpp"
#include "runtime/platform.hpp"
#include "runtime/text.hpp"
#include "runtime/window.hpp"

namespace rt {

class Console {
 public:
  Console(Platform& platform, Keyboard& keyboard) : platform_(platform), keyboard_(keyboard) {}

  void print(std::string_view bytes);
  // Shows what the window holds back; console output is never held back.
  void flush();
  // Reads a reply with the line editor. On a terminal the reply is drawn as it
  // is typed; elsewhere the finished reply is written once. The end of input
  // ends the reply as Enter would.
  Text input_line(std::string_view prompt, bool question_mark, bool line_end);

  void open_window(std::string title);
  void close_window();
  const Window* window() const { return window_.get(); }

 private:
  Platform& platform_;
  Keyboard& keyboard_;
  std::unique_ptr<Window> window_;
};

}  // namespace rt
