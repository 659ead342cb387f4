#include "runtime/console/window.hpp"

#include "runtime/text/caret_notation.hpp"

namespace rt {

void StreamGridView::printed(std::string_view bytes, const TextGrid& /*grid*/) {
  pending_.append(bytes);
  if (pending_.size() >= kPiece) {
    flush();
  }
}

void StreamGridView::flush() {
  if (!pending_.empty()) {
    platform_.write_output(pending_);
    pending_.clear();
  }
}

void TerminalGridView::printed(std::string_view bytes, const TextGrid& /*grid*/) {
  // The terminal may be wider than the grid; break rows where the grid does.
  // Control bytes are shown in caret notation, two columns each.
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    if (c == '\r' || c == '\n') {
      column_ = 0;
      out += c;
      continue;
    }
    const bool control = is_control_byte(static_cast<unsigned char>(c));
    const int columns = control ? 2 : 1;
    if (column_ + columns > TextGrid::kColumns) {
      out += "\r\n";
      column_ = 0;
    }
    column_ += columns;
    if (control) {
      out += caret_notation(std::string_view(&c, 1));
    } else {
      out += c;
    }
  }
  platform_.write_output(out);
}

std::unique_ptr<GridView> make_grid_view(Platform& platform, const std::string& title) {
  // Output sent to a file or a pipe goes there, and keys then come from
  // standard input: a script never waits for a key in a window nobody watches.
  if (!platform.output_is_terminal()) {
    return std::make_unique<StreamGridView>(platform);
  }
  if (auto desktop = platform.open_desktop_window(title)) {
    return desktop;
  }
  return std::make_unique<TerminalGridView>(platform);
}

void Window::print(std::string_view bytes) {
  if (keeps_grid_) {
    grid_.print(bytes);
  }
  if (view_) {
    view_->printed(bytes, grid_);
  }
}

void Window::flush() {
  if (view_) {
    view_->flush();
  }
}

void Window::close() {
  if (view_) {
    view_->close();
    view_.reset();
    keeps_grid_ = true;
  }
}

}  // namespace rt
