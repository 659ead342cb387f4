// A picture of a few colours, written as a PNG file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace chip {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::array<std::uint8_t, 3>> palette;  // red, green, blue
  std::vector<std::uint8_t> pixels;                  // palette indices, row by row

  Image(int w, int h, std::vector<std::array<std::uint8_t, 3>> colours);
  void fill(int x0, int y0, int x1, int y1, std::uint8_t colour);  // [x0, x1) x [y0, y1), clipped
};

// False when the file cannot be written.
bool write_png(const Image& image, const std::string& path);

}  // namespace chip
