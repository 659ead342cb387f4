// A program's constant data: data lines in program order, some marked by a
// label, read item by item through one cursor that runs on from line to line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text/text.hpp"

namespace rt {

struct DataLine {
  std::string label;  // empty for a line without a label
  std::vector<std::string> items;
};

class DataTables {
 public:
  DataTables() = default;
  explicit DataTables(std::vector<DataLine> lines) : lines_(std::move(lines)) {}

  // Puts the cursor on the first item of the line the label marks; an unknown
  // label leaves the cursor exhausted.
  void restore_table(std::string_view label);
  // The item at the cursor, then the cursor moves on; empty once exhausted.
  Text read_item();

 private:
  void skip_empty_lines();

  std::vector<DataLine> lines_;
  std::size_t line_ = 0;
  std::size_t item_ = 0;
};

}  // namespace rt
