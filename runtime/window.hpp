// The text window: a grid that every print changes, and a view that shows it
// where the program runs (the terminal, or a stream of the printed bytes).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "runtime/platform.hpp"
#include "runtime/text_grid.hpp"

namespace rt {

class GridView {
 public:
  GridView() = default;
  GridView(const GridView&) = delete;
  GridView& operator=(const GridView&) = delete;
  virtual ~GridView() = default;
  // Called after bytes were printed into the grid.
  virtual void printed(std::string_view bytes, const TextGrid& grid) = 0;
  virtual void close() {}
};

// The printed text goes to standard output as printed, bytes unchanged.
class StreamGridView final : public GridView {
 public:
  explicit StreamGridView(Platform& platform) : platform_(platform) {}
  void printed(std::string_view bytes, const TextGrid& grid) override;

 private:
  Platform& platform_;
};

// The printed text goes to the terminal, wrapped at the grid's width.
class TerminalGridView final : public GridView {
 public:
  explicit TerminalGridView(Platform& platform) : platform_(platform) {}
  void printed(std::string_view bytes, const TextGrid& grid) override;

 private:
  Platform& platform_;
  int column_ = 0;
};

// The best way to show the window on this platform.
std::unique_ptr<GridView> make_grid_view(Platform& platform);

class Window {
 public:
  Window(std::string title, std::unique_ptr<GridView> view)
      : title_(std::move(title)), view_(std::move(view)) {}

  void print(std::string_view bytes);
  void close();

  const TextGrid& grid() const { return grid_; }
  const std::string& title() const { return title_; }

 private:
  std::string title_;
  TextGrid grid_;
  std::unique_ptr<GridView> view_;
};

}  // namespace rt
