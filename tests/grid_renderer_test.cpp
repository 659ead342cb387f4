// The desktop window's drawing, checked pixel by pixel off screen.
#include "runtime/console/desktop/grid_renderer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/console/desktop/glyph_table.hpp"
#include "runtime/platform/text_grid.hpp"

namespace {

using rt::TextGrid;

// The installed font's table, as the window reads it when it opens.
const rt::GlyphTable& glyphs() {
  static const rt::GlyphTable table = [] {
    std::string why;
    auto read = rt::read_glyphs(UNIFONT_HEX, why);
    if (!read) {
      ADD_FAILURE() << why;
    }
    return read.value_or(rt::GlyphTable{});
  }();
  return table;
}

std::vector<std::uint32_t> render(const TextGrid& grid) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(rt::kWindowWidth) * rt::kWindowHeight);
  rt::render_grid(grid, glyphs(), pixels.data(), rt::kWindowWidth);
  return pixels;
}

// True when the cell shows the glyph of byte, light grey on black.
bool cell_shows(const std::vector<std::uint32_t>& pixels, int row, int column, unsigned char byte) {
  const rt::Glyph& glyph = glyphs()[byte];
  for (int y = 0; y < rt::kCellHeight; ++y) {
    for (int x = 0; x < rt::kCellWidth; ++x) {
      const bool lit = (glyph[static_cast<std::size_t>(y)] & (0x80U >> static_cast<unsigned>(x))) != 0;
      const std::size_t line = static_cast<std::size_t>(row) * rt::kCellHeight + static_cast<std::size_t>(y);
      const std::size_t at = line * rt::kWindowWidth + static_cast<std::size_t>(column) * rt::kCellWidth +
                             static_cast<std::size_t>(x);
      if (pixels[at] != (lit ? rt::kForeground : rt::kBackground)) {
        return false;
      }
    }
  }
  return true;
}

TEST(GridRenderer, TheGlyphTableDrawsCodePage437) {
  const auto lit = [](unsigned char byte) {
    int count = 0;
    for (const auto row : glyphs()[byte]) {
      count += __builtin_popcount(row);
    }
    return count;
  };
  EXPECT_EQ(lit(' '), 0);
  EXPECT_EQ(lit(0), 0);          // NUL is a blank
  EXPECT_EQ(lit(0xDB), 8 * 16);  // the full block
  EXPECT_GT(lit('A'), 10);
  EXPECT_GT(lit(1), 10);     // a smiling face, not nothing
  EXPECT_GT(lit(0xE1), 10);  // sharp s
  EXPECT_NE(glyphs()['A'], glyphs()['B']);
}

// A .hex font read line by line: what is taken, what is passed over, and when
// there is no font at all.
TEST(GridRenderer, GlyphsAreReadFromAHexFont) {
  const std::string a = "0041:0000000018242442427E424242420000\n";
  const std::string block = "2588:FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n";
  const std::string space = "0020:FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n";
  const struct {
    const char* what;
    std::string font;
    bool read;
    unsigned char byte;
    std::string rows;  // rows 4 to 7 of byte's glyph, in hex
  } cases[] = {
      {"a narrow glyph, its rows in order", a, true, 'A', "18242442"},
      {"code page 437's full block", block, true, 0xDB, "FFFFFFFF"},
      {"a space as the font draws it", space, true, ' ', "FFFFFFFF"},
      {"NUL stays blank", space, true, 0, "00000000"},
      {"a wide glyph is no cell's", "0041:" + std::string(64, 'F') + "\n" + block, true, 'A', "00000000"},
      {"lines past the last wanted character are not read",
       block + "FFFFF:" + std::string(32, 'F') + "\n0041:" + std::string(32, 'F') + "\n", true, 'A',
       "00000000"},
      {"bad lines are passed over", "#comment\nXYZ:12\n0041:00G0\n" + block, true, 0xDB, "FFFFFFFF"},
      {"no font", "hello\nworld\n", false, 0, ""},
      {"empty", "", false, 0, ""},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.font);
    std::string why;
    const auto table = rt::read_glyphs(in, why);
    ASSERT_EQ(table.has_value(), c.read) << c.what << ": " << why;
    if (!c.read) {
      EXPECT_FALSE(why.empty()) << c.what;
      continue;
    }
    char shown[9];
    const rt::Glyph& glyph = (*table)[c.byte];
    std::snprintf(shown, sizeof shown, "%02X%02X%02X%02X", glyph[4], glyph[5], glyph[6], glyph[7]);
    EXPECT_EQ(shown, c.rows) << c.what;
  }
  std::string why;
  EXPECT_FALSE(rt::read_glyphs("/no/such/unifont.hex", why).has_value());
  EXPECT_EQ(why, "/no/such/unifont.hex: No such file or directory");
}
TEST(GridRenderer, DrawsEveryCellOfTheGridItsGlyph) {
  struct Case {
    const char* name;
    std::string printed;
    std::vector<std::string> rows;  // the expected text of the first rows
  };
  const Case cases[] = {
      {"the worked example",
       "noteC42\r\nnoteF41\r\nALT !\r\npause !\r\nrest4\r\nnoteA58\r\nok\r\n",
       {"noteC42", "noteF41", "ALT !", "pause !", "rest4", "noteA58", "ok"}},
      {"wrapping at column 80", std::string(80, 'w') + "rap", {std::string(80, 'w'), "rap"}},
      {"control and high bytes", std::string("\x01\x7f\xb0\xdb", 4), {std::string("\x01\x7f\xb0\xdb", 4)}},
  };
  for (const auto& c : cases) {
    TextGrid grid;
    grid.print(c.printed);
    const auto pixels = render(grid);
    for (int row = 0; row < TextGrid::kRows; ++row) {
      const std::string text =
          row < static_cast<int>(c.rows.size()) ? c.rows[static_cast<std::size_t>(row)] : "";
      for (int column = 0; column < TextGrid::kColumns; ++column) {
        const auto byte = column < static_cast<int>(text.size())
                              ? static_cast<unsigned char>(text[static_cast<std::size_t>(column)])
                              : static_cast<unsigned char>(' ');
        ASSERT_TRUE(cell_shows(pixels, row, column, byte))
            << c.name << " row " << row << " column " << column;
      }
    }
  }
}

TEST(GridRenderer, ShowsTheBottomRowsAfterScrolling) {
  TextGrid grid;
  for (int line = 0; line < 40; ++line) {
    grid.print("line " + std::to_string(line) + "\r\n");
  }
  const auto pixels = render(grid);
  const std::string top = "line 11";
  for (std::size_t i = 0; i < top.size(); ++i) {
    EXPECT_TRUE(cell_shows(pixels, 0, static_cast<int>(i), static_cast<unsigned char>(top[i])));
  }
  EXPECT_TRUE(cell_shows(pixels, TextGrid::kRows - 1, 0, ' '));
}

}  // namespace
