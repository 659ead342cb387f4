// The visible life of the converter: banner, the two names, the checks of the
// score, and the two ways an error in the score is reported.
#include "arvonic/converter.hpp"

namespace arvonic {
namespace {

constexpr int kConsole = 0;
constexpr int kScoreFile = 1;
constexpr int kProbeFile = 9;

}  // namespace

void run(rt::Runtime& runtime) {
  Converter converter(runtime);
  converter.run();
}

Text Converter::ask_name(std::string_view prompt) {
  runtime.print_text(kConsole, prompt, false);
  Text reply = runtime.input_line("", false, true);
  return reply.empty() ? Text("score") : reply;
}

void Converter::run() {
  runtime.print_text(kConsole, "ARVONIC converts MusicXML files", true);
  runtime.print_text(kConsole, "from MuseScore 4 to Arduino VELMORA .h files", true);
  runtime.print_text(kConsole, "(QB/QBasic PLAY statement format)", true);
  runtime.print_text(kConsole, "Copyright (c) 2026 the arvonic authors", true);
  runtime.print_text(kConsole, rt::repeat_char(79, "_"), true);
  runtime.print_line_end(kConsole);

  input_name = ask_name(" input file [score]:");
  output_name = ask_name("output file [score]:");
  rt::append_text(input_name, ".xml");

  if (!file_exists(input_name)) {
    report_fatal(rt::join_text(input_name, " - file not found"));
  }
  runtime.open_file(input_name, rt::FileMode::binary, rt::FileAccess::default_access, kScoreFile);

  // A score that ends before its second line is whole is no export.
  end_of_file_message = "MusicXML 4.0 data file expected";
  read_score_line();
  read_score_line();
  if (rt::find_text(1, current_line, "MusicXML 4.0") == 0) {
    report_fatal(end_of_file_message);
  }
  line_number = 0;
  line_count = 0;
  last_octave.clear();

  runtime.print_text(kConsole, "processing...", true);
  search_divisions();
  scan_notes();
}

bool Converter::file_exists(const Text& name) {
  const bool opened =
      runtime.open_file(name, rt::FileMode::input, rt::FileAccess::default_access, kProbeFile) == 0;
  runtime.close_file(kProbeFile);
  return opened;
}

void Converter::report_fatal(std::string_view message) {
  runtime.close_all_files();
  runtime.print_text(kConsole, message, true);
  runtime.wait_key(-1);
  runtime.end_program(1);
}

void Converter::report_line_error(std::string_view message) {
  runtime.close_all_files();
  runtime.print_text(kConsole, "Error in line ", false);
  runtime.print_integer(kConsole, line_number, false);
  runtime.print_text(kConsole, ":", false);
  runtime.print_text(kConsole, current_line, true);
  runtime.print_text(kConsole, message, true);
  runtime.wait_key(-1);
  runtime.end_program(1);
}

}  // namespace arvonic
