#include "runtime/console/console.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "runtime/text/caret_notation.hpp"
#include "runtime/text/utf8.hpp"

namespace rt {
namespace {

// Enough of a row to draw a prompt again; a longer row has wrapped anyway.
constexpr std::size_t kRowKept = 1024;

// One character of a reply as it is drawn: its bytes and its columns.
struct Glyph {
  std::size_t length;
  std::size_t columns;
};

Glyph glyph_at(std::string_view reply, std::size_t pos, bool utf8) {
  const std::size_t length = utf8 ? utf8_length_at(reply, pos) : 1;
  const bool control = length == 1 && is_control_byte(static_cast<unsigned char>(reply[pos]));
  return {length, control ? std::size_t{2} : std::size_t{1}};
}

std::size_t columns_between(std::string_view reply, std::size_t from, std::size_t to, bool utf8) {
  std::size_t columns = 0;
  while (from < to) {
    const Glyph glyph = glyph_at(reply, from, utf8);
    columns += glyph.columns;
    from += glyph.length;
  }
  return columns;
}

// Columns of text that has already been put into caret notation.
std::size_t shown_columns(std::string_view shown, bool utf8) {
  std::size_t columns = 0;
  for (std::size_t pos = 0; pos < shown.size(); pos += utf8 ? utf8_length_at(shown, pos) : 1) {
    ++columns;
  }
  return columns;
}

void move_right(std::string& out, std::size_t columns) {
  if (columns > 0) {
    out += "\x1b[" + std::to_string(columns) + "C";
  }
}

}  // namespace

void Console::print_line(std::string_view bytes) {
  // Joined with its line end, one piece for the view or the stream: on the
  // stack for a progress line, else in a buffer kept from line to line.
  constexpr std::size_t kShort = 62;
  if (bytes.size() <= kShort) {
    std::array<char, kShort + 2> joined;
    std::copy(bytes.begin(), bytes.end(), joined.begin());
    joined[bytes.size()] = '\r';
    joined[bytes.size() + 1] = '\n';
    print(std::string_view(joined.data(), bytes.size() + 2));
    return;
  }
  line_.assign(bytes);
  line_.append("\r\n");
  print(line_);
}

void Console::print(std::string_view bytes) {
  if (window_) {
    window_->print(bytes);
    return;
  }
  if (!platform_.output_is_terminal()) {
    platform_.write_output(bytes);
    return;
  }
  const std::string shown = caret_notation(bytes);
  platform_.write_output(shown);
  const auto line_end = shown.find_last_of("\r\n");
  if (line_end != std::string::npos) {
    row_.assign(shown, line_end + 1);
  } else {
    row_ += shown;
  }
  if (row_.size() > kRowKept) {
    row_.erase(0, row_.size() - kRowKept);
  }
}

void Console::flush() {
  if (window_) {
    window_->flush();
  }
}

void Console::draw_reply(const LineEditor& editor) {
  const bool utf8 = platform_.text_is_utf8();
  const std::string& reply = editor.reply();
  const std::size_t cursor = editor.cursor();
  const auto width = static_cast<std::size_t>(std::max(platform_.screen_width(), 2));
  // The last column stays free: a terminal that has written it wraps on the next byte.
  const std::size_t prompt = shown_columns(row_, utf8);
  const std::size_t prompt_column = prompt % width;
  const std::size_t room = std::max<std::size_t>(width - 1 - std::min(prompt_column, width - 1), 1);

  // Scroll as little as keeps the cursor's column in the room.
  if (columns_between(reply, 0, reply.size(), utf8) < room) {
    first_shown_ = 0;
  }
  first_shown_ = std::min(first_shown_, cursor);
  while (first_shown_ < cursor && columns_between(reply, first_shown_, cursor, utf8) >= room) {
    first_shown_ += glyph_at(reply, first_shown_, utf8).length;
  }

  std::string out = "\r";
  if (prompt < width) {
    out += row_;
  } else {
    move_right(out, prompt_column);  // a prompt that wrapped is left as it stands
  }
  std::size_t used = 0;
  for (std::size_t pos = first_shown_; pos < reply.size();) {
    const Glyph glyph = glyph_at(reply, pos, utf8);
    if (used + glyph.columns > room) {
      break;
    }
    out += caret_notation(std::string_view(reply).substr(pos, glyph.length));
    used += glyph.columns;
    pos += glyph.length;
  }
  drawn_columns_ = prompt_column + used;
  out += "\x1b[K\r";
  move_right(out, prompt_column + columns_between(reply, first_shown_, cursor, utf8));
  platform_.write_output(out);
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
  LineEditor editor(platform_.screen_width(), live && platform_.text_is_utf8());
  first_shown_ = 0;
  drawn_columns_ = 0;
  while (const auto key = keyboard_.next_key()) {
    if (*key == Keyboard::kRedraw) {
      if (live) {
        draw_reply(editor);
      }
      continue;
    }
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
    draw_reply(editor);
  }
  if (live) {
    // The cursor behind the last character drawn, where the next text goes.
    if (!editor.reply().empty()) {
      std::string out = "\r";
      move_right(out, drawn_columns_);
      platform_.write_output(out);
    }
    row_ += caret_notation(editor.reply());
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
