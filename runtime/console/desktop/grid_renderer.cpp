#include "runtime/console/desktop/grid_renderer.hpp"

namespace rt {

void render_grid(const TextGrid& grid, const GlyphTable& glyphs, std::uint32_t* pixels, int pitch) {
  for (int row = 0; row < TextGrid::kRows; ++row) {
    for (int column = 0; column < TextGrid::kColumns; ++column) {
      const Glyph& glyph = glyphs[grid.cell(row, column)];
      for (int y = 0; y < kCellHeight; ++y) {
        const std::ptrdiff_t line = static_cast<std::ptrdiff_t>(row) * kCellHeight + y;
        std::uint32_t* out = pixels + line * pitch + static_cast<std::ptrdiff_t>(column) * kCellWidth;
        const unsigned bits = glyph[static_cast<std::size_t>(y)];
        for (int x = 0; x < kCellWidth; ++x) {
          out[x] = (bits & (0x80U >> static_cast<unsigned>(x))) != 0 ? kForeground : kBackground;
        }
      }
    }
  }
}

}  // namespace rt
