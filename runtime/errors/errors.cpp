#include "runtime/errors/errors.hpp"

#include <array>
#include <string>

namespace rt {
namespace {

constexpr std::array<std::string_view, 18> kMessages = {
    "",
    "illegal function call",
    "file not found",
    "file I/O error",
    "out of memory",
    "illegal resume",
    "out of bounds array access",
    "null pointer access",
    "no privileges",
    "\"interrupted\" signal",
    "\"illegal instruction\" signal",
    "\"floating point error\" signal",
    "\"segmentation violation\" signal",
    "\"termination request\" signal",
    "\"abnormal termination\" signal",
    "\"quit request\" signal",
    "return without gosub",
    "end of file",
};

}  // namespace

std::optional<std::string_view> error_message(std::int32_t number) {
  if (number < 0 || static_cast<std::size_t>(number) >= kMessages.size()) {
    return std::nullopt;
  }
  return kMessages[static_cast<std::size_t>(number)];
}

Text compose_report(std::int32_t number, std::int32_t source_line, std::optional<std::string_view> module) {
  Text report = "\nAborting due to runtime error " + std::to_string(number);
  if (const auto message = error_message(number)) {
    report += " (";
    report += *message;
    report += ")";
  }
  if (source_line > 0) {
    report += " at line " + std::to_string(source_line);
  }
  if (module) {
    report += source_line > 0 ? " of " : " in ";
    report += *module;
    report += "()";
  }
  report += "\n\n";
  if (report.size() > kMaxReport) {
    report.resize(kMaxReport);
  }
  return report;
}

bool index_within(std::int32_t index, std::int32_t upper_bound) {
  return static_cast<std::uint32_t>(index) <= static_cast<std::uint32_t>(upper_bound);
}

}  // namespace rt
