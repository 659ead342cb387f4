// A way of showing the text window's grid: the terminal, a stream, a desktop window.
#pragma once

#include <string_view>

#include "runtime/platform/text_grid.hpp"

namespace rt {

class GridView {
 public:
  GridView() = default;
  GridView(const GridView&) = delete;
  GridView& operator=(const GridView&) = delete;
  virtual ~GridView() = default;
  // Called after bytes were printed into the grid.
  virtual void printed(std::string_view bytes, const TextGrid& grid) = 0;
  // Whether the view draws the grid; the window keeps no grid for one that
  // does not, since nobody could see it.
  virtual bool draws_grid() const { return true; }
  // Shows everything printed so far; called before every wait for a key.
  virtual void flush() {}
  virtual void close() { flush(); }
};

}  // namespace rt
