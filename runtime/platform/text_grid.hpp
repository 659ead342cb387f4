// The model of what the text window shows: 80 x 30 character cells, a cursor,
// wrapping at the last column and scrolling past the bottom row.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace rt {

class TextGrid {
 public:
  static constexpr int kColumns = 80;
  static constexpr int kRows = 30;

  TextGrid() { cells_.fill(' '); }

  // CR returns to the first column, LF goes to the start of the next row, and
  // every other byte is drawn as a character.
  void print(std::string_view bytes);

  unsigned char cell(int row, int column) const { return cells_[index(row, column)]; }
  // A row's characters with trailing blanks removed.
  std::string row_text(int row) const;
  int cursor_row() const { return row_; }
  int cursor_column() const { return column_; }

 private:
  void new_row();
  static std::size_t index(int row, int column) {
    return static_cast<std::size_t>(row) * kColumns + static_cast<std::size_t>(column);
  }

  std::array<unsigned char, std::size_t{kColumns} * kRows> cells_{};
  int row_ = 0;
  // kColumns after the last column was written: the row wraps only when one
  // more character comes, so a line end right after a full row adds no empty row.
  int column_ = 0;
};

}  // namespace rt
