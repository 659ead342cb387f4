#include "runtime/platform/text_grid.hpp"

#include <algorithm>

namespace rt {

void TextGrid::new_row() {
  column_ = 0;
  if (row_ + 1 < kRows) {
    ++row_;
    return;
  }
  std::copy(cells_.begin() + kColumns, cells_.end(), cells_.begin());
  std::fill(cells_.end() - kColumns, cells_.end(), static_cast<unsigned char>(' '));
}

void TextGrid::print(std::string_view bytes) {
  for (const char c : bytes) {
    if (c == '\r') {
      column_ = 0;
    } else if (c == '\n') {
      new_row();
    } else {
      if (column_ == kColumns) {
        new_row();
      }
      cells_[index(row_, column_)] = static_cast<unsigned char>(c);
      ++column_;
    }
  }
}

std::string TextGrid::row_text(int row) const {
  const auto* first = cells_.data() + index(row, 0);
  std::string text(first, first + kColumns);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace rt
