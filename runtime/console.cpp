#include "runtime/console.hpp"

#include <string>

#include "runtime/line_editor.hpp"

namespace rt {
namespace {

void move_left(std::string& out, std::size_t columns) {
  if (columns > 0) {
    out += "\x1b[" + std::to_string(columns) + "D";
  }
}

void move_right(std::string& out, std::size_t columns) {
  if (columns > 0) {
    out += "\x1b[" + std::to_string(columns) + "C";
  }
}

}  // namespace

void Console::print(std::string_view bytes) {
  if (window_) {
    window_->print(bytes);
  } else {
    platform_.write_output(bytes);
  }
}

void Console::flush() {
  if (window_) {
    window_->flush();
  }
}

Text Console::input_line(std::string_view prompt, bool question_mark, bool line_end) {
  if (!prompt.empty()) {
    print(prompt);
  }
  if (question_mark) {
    print("? ");
  }
  flush();
  const bool live = !window_ && platform_.output_is_terminal();
  LineEditor editor(platform_.screen_width());
  while (const auto key = keyboard_.next_key()) {
    const std::size_t old_cursor = editor.cursor();
    const LineEditor::Outcome outcome = editor.feed(*key);
    if (outcome == LineEditor::Outcome::done) {
      break;
    }
    if (!live) {
      continue;
    }
    if (outcome == LineEditor::Outcome::beep) {
      platform_.beep();
      continue;
    }
    // Redraw the reply from its first column and put the cursor back in place.
    std::string out;
    move_left(out, old_cursor);
    out += editor.reply();
    out += "\x1b[K";
    move_left(out, editor.reply().size() - editor.cursor());
    platform_.write_output(out);
  }
  if (live) {
    std::string out;
    move_right(out, editor.reply().size() - editor.cursor());
    if (!out.empty()) {
      platform_.write_output(out);
    }
  } else {
    print(editor.reply());
  }
  if (line_end) {
    print("\r\n");
  }
  return editor.reply();
}

void Console::open_window(std::string title) {
  auto view = make_grid_view(platform_, title);
  window_ = std::make_unique<Window>(std::move(title), std::move(view));
}

void Console::close_window() {
  if (window_) {
    window_->close();
  }
}

}  // namespace rt
