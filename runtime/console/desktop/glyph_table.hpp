// The 8 x 16 glyphs the text window draws, one per byte: printable bytes as
// themselves, control bytes and bytes 128 to 255 as code page 437 shows them.
// The table is made at build time from GNU Unifont's bitmaps.
#pragma once

#include <array>
#include <cstdint>

namespace rt {

// Sixteen rows from the top, the leftmost pixel in the highest bit.
using Glyph = std::array<std::uint8_t, 16>;

extern const std::array<Glyph, 256> kGlyphs;

}  // namespace rt
