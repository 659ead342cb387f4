// The 8 x 16 glyphs the text window draws, one per byte: printable bytes as
// themselves, control bytes and bytes 128 to 255 as code page 437 shows them.
// They are read when a window opens from GNU Unifont's .hex file as the
// system installs it (Debian's unifont package); none is built in.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>

namespace rt {

// Sixteen rows from the top, the leftmost pixel in the highest bit.
using Glyph = std::array<std::uint8_t, 16>;
using GlyphTable = std::array<Glyph, 256>;

// The character code page 437 shows for each byte; 0 draws as a blank.
extern const std::array<std::uint16_t, 256> kCodePage437;

// Reads the table from a .hex font ("CODE:HEXDIGITS" lines sorted by code
// point), up to the last character it needs. A character the font lacks, or
// has only wider than a cell, is drawn blank. Nothing, with why set, when the
// font cannot be read or holds none of the characters.
std::optional<GlyphTable> read_glyphs(std::istream& hex, std::string& why);
std::optional<GlyphTable> read_glyphs(const std::string& path, std::string& why);

}  // namespace rt
