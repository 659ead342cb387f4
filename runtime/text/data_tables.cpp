#include "runtime/text/data_tables.hpp"

namespace rt {

void DataTables::skip_empty_lines() {
  while (line_ < lines_.size() && item_ >= lines_[line_].items.size()) {
    ++line_;
    item_ = 0;
  }
}

void DataTables::restore_table(std::string_view label) {
  line_ = lines_.size();
  item_ = 0;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].label == label) {
      line_ = i;
      break;
    }
  }
}

Text DataTables::read_item() {
  skip_empty_lines();
  if (line_ >= lines_.size()) {
    return {};
  }
  return lines_[line_].items[item_++];
}

}  // namespace rt
