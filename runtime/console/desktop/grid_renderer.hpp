// Draws the text grid as pixels: 80 x 30 cells of 8 x 16, light grey on black.
#pragma once

#include <cstdint>

#include "runtime/console/desktop/glyph_table.hpp"
#include "runtime/platform/text_grid.hpp"

namespace rt {

inline constexpr int kCellWidth = 8;
inline constexpr int kCellHeight = 16;
inline constexpr int kWindowWidth = TextGrid::kColumns * kCellWidth;  // 640
inline constexpr int kWindowHeight = TextGrid::kRows * kCellHeight;   // 480
inline constexpr std::uint32_t kForeground = 0xFFAAAAAA;              // ARGB light grey
inline constexpr std::uint32_t kBackground = 0xFF000000;              // ARGB black

// Fills a 640 x 480 image of 32-bit ARGB pixels; pitch counts pixels per row.
void render_grid(const TextGrid& grid, const GlyphTable& glyphs, std::uint32_t* pixels, int pitch);

}  // namespace rt
