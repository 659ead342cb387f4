// Writes the collected PLAY string as a header file for a sketch and as a
// program file of PLAY statements, then ends the run.
#include "arvonic/converter.hpp"

namespace arvonic {
namespace {

constexpr int kConsole = 0;
constexpr int kHeaderFile = 2;
constexpr int kProgramFile = 3;
constexpr std::int32_t kFinalStore = 129;
constexpr std::int32_t kHeaderRead = 133;
constexpr std::int32_t kProgramRead = 135;
constexpr std::string_view kModule = "arvonic";

}  // namespace

bool Converter::write_outputs() {
  // The last piece is stored before any output file is opened, so that a full
  // line table leaves existing files exactly as they were.
  if (!play_line.empty()) {
    store_play_line(kFinalStore);
  }

  const Text header_name = rt::join_text(output_name, ".h");
  const Text program_name = rt::join_text(output_name, ".bas");
  bool header_written =
      runtime.open_file(header_name, rt::FileMode::output, rt::FileAccess::default_access, kHeaderFile) == 0;
  bool program_written = runtime.open_file(program_name, rt::FileMode::output, rt::FileAccess::default_access,
                                           kProgramFile) == 0;

  runtime.print_text(kHeaderFile, "const PROGMEM unsigned char notes[]=\\", true);
  const std::int32_t last = line_count - 1;
  for (std::int32_t i = 0; i <= last; ++i) {
    const auto entry = static_cast<std::size_t>(i);
    runtime.check_index(i, kLineTableBound, kHeaderRead, kModule);
    Text header_line = "\"";
    rt::append_text(header_line, line_table[entry]);
    rt::append_text(header_line, i == last ? "\";" : "\"");
    runtime.print_text(kHeaderFile, header_line, true);

    runtime.check_index(i, kLineTableBound, kProgramRead, kModule);
    Text statement = "PLAY \"";
    rt::append_text(statement, line_table[entry]);
    rt::append_text(statement, "\"");
    runtime.print_text(kProgramFile, statement, true);
  }
  header_written = runtime.close_file(kHeaderFile) == 0 && header_written;
  program_written = runtime.close_file(kProgramFile) == 0 && program_written;

  if (header_written && program_written) {
    runtime.print_text(kConsole, "ok", true);
  }
  if (!header_written) {
    runtime.print_text(kConsole, rt::join_text(header_name, " - file not written"), true);
  }
  if (!program_written) {
    runtime.print_text(kConsole, rt::join_text(program_name, " - file not written"), true);
  }
  runtime.wait_key(-1);
  return header_written && program_written;
}

}  // namespace arvonic
