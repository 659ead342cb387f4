// The text window: a grid that every print changes, and a view that shows it
// where the program runs (the terminal, or a stream of the printed bytes).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "runtime/platform/grid_view.hpp"
#include "runtime/platform/platform.hpp"
#include "runtime/platform/text_grid.hpp"

namespace rt {

// The printed text goes to standard output as printed, bytes unchanged. Nobody
// watches a stream as it grows, so it is written in large pieces: when the
// piece is full, before every wait for a key, and when the window closes.
class StreamGridView final : public GridView {
 public:
  static constexpr std::size_t kPiece = std::size_t{64} * 1024;
  explicit StreamGridView(Platform& platform) : platform_(platform) {}
  ~StreamGridView() override { StreamGridView::flush(); }
  void printed(std::string_view bytes, const TextGrid& grid) override;
  bool draws_grid() const override { return false; }
  void flush() override;

 private:
  Platform& platform_;
  std::string pending_;
};

// The printed text goes to the terminal, wrapped at the grid's width, its
// control bytes in caret notation.
class TerminalGridView final : public GridView {
 public:
  explicit TerminalGridView(Platform& platform) : platform_(platform) {}
  void printed(std::string_view bytes, const TextGrid& grid) override;

 private:
  Platform& platform_;
  int column_ = 0;
};

// The best way to show the window here: a stream when standard output is not
// a terminal, else on the desktop, else in the terminal.
std::unique_ptr<GridView> make_grid_view(Platform& platform, const std::string& title);

class Window {
 public:
  Window(std::string title, std::unique_ptr<GridView> view)
      : title_(std::move(title)), view_(std::move(view)), keeps_grid_(!view_ || view_->draws_grid()) {}

  void print(std::string_view bytes);
  void flush();
  void close();

  const TextGrid& grid() const { return grid_; }
  const std::string& title() const { return title_; }

 private:
  std::string title_;
  TextGrid grid_;
  std::unique_ptr<GridView> view_;
  bool keeps_grid_;  // asked of the view once, not on every print
};

}  // namespace rt
