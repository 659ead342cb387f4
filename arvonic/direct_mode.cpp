#include "arvonic/direct_mode.hpp"

#include <getopt.h>

#include <cctype>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "arvonic/direct_report.hpp"
#include "play/play_writer.hpp"
#include "runtime/text/caret_notation.hpp"
#include "score/score_reader.hpp"

namespace arvonic {

const char* const kUsage = R"(Usage: arvonic [OPTION]... SCORE
  or:  arvonic
Convert a MusicXML score (.xml, .musicxml or .mxl, as score editors export
it) into a PLAY music string for a microcontroller sketch: NAME.h holds it as
a PROGMEM array, NAME.bas as PLAY statements to check it by ear. With SCORE
-, the score is read from standard input.

The melody is the first part with a pitched note on its top staff, in its
lowest-numbered voice: the highest note of each chord, repeats and endings
played as written, tempo marks as T commands. Standard error tells what was
left out or changed.

  -o, --output=NAME  write NAME.h and NAME.bas (default: SCORE's name without
                     its extension, in the current folder)
      --array=NAME   name the PROGMEM array NAME, a C identifier (default:
                     notes), so that two melodies can share a sketch
      --part=PART    take part PART: its number, counted from 1, or its id
      --voice=VOICE  take voice VOICE of the part's top staff
      --tempo=N      play everything at N quarter notes a minute (32 to 255)
                     instead of the score's tempo marks
      --list         list the score's parts and exit
  -q, --quiet        report only errors and warnings
  -h, --help         show this help and exit
      --version      show the version and exit

The classic dialogue: without arguments arvonic asks for an input and an
output name (Enter takes "score"; type them without extension), reads
INPUT.xml from the current folder, an export one element per line as MusicXML
4.0 writes it, and writes OUTPUT.h (the array named notes) and OUTPUT.bas.
From a pipe or a file, the first two lines of standard input are the two
replies:  printf 'tune\nmelody\n' | arvonic
Keys: Enter ends a reply; Esc while the score is read stops without touching
any file; any key ends the wait after the last message.

Exit status: 0 when both files are written, and when Esc stops the dialogue;
1 when the score cannot be converted or a file cannot be written (a score
that cannot be converted leaves every file as it was); 2 for wrong usage; in
the dialogue, a run-time error's number (6: the melody is too long) after its
report on standard error.

Full documentation: man arvonic
)";

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

enum LongOnly { kArray = 256, kPart, kVoice, kTempo, kList, kVersion };

struct DirectOptions {
  std::string score;
  std::string output;
  std::string array = "notes";
  score::ReadOptions read;
  std::optional<int> tempo;
  bool list = false;
  bool quiet = false;
};

class Reporter {
 public:
  explicit Reporter(rt::Platform& platform) : platform_(platform) {}
  int fail(const std::string& message) {
    // Names and messages come from the score: no byte of them drives the terminal.
    platform_.write_error("arvonic: " + rt::caret_notation(message) + "\n");
    return kExitFailure;
  }
  int usage(const std::string& message) {
    platform_.write_error("arvonic: " + message + "\nTry 'arvonic --help'.\n");
    return kExitUsage;
  }

 private:
  rt::Platform& platform_;
};

bool is_identifier(std::string_view name) {
  if (name.empty() || name.size() > 64 || std::isdigit(static_cast<unsigned char>(name.front())) != 0) {
    return false;
  }
  for (const char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_') {
      return false;
    }
  }
  return true;
}

// The score's file name without its folder and last extension.
std::string base_name(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  return name;
}

// A name given as the header's own drops its extension: -o tune.h writes tune.h.
std::string output_stem(std::string name) {
  for (const std::string_view extension : {".h", ".bas"}) {
    if (name.size() > extension.size() && name.ends_with(extension)) {
      name.erase(name.size() - extension.size());
      break;
    }
  }
  return name;
}

// The command line, or the exit status of an answer given at once.
std::variant<DirectOptions, int> parse(rt::Platform& platform, Reporter& report, int argc, char** argv) {
  static const option kOptions[] = {
      {"output", required_argument, nullptr, 'o'},   {"array", required_argument, nullptr, kArray},
      {"part", required_argument, nullptr, kPart},   {"voice", required_argument, nullptr, kVoice},
      {"tempo", required_argument, nullptr, kTempo}, {"list", no_argument, nullptr, kList},
      {"quiet", no_argument, nullptr, 'q'},          {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion},   {nullptr, 0, nullptr, 0},
  };
  DirectOptions options;
  opterr = 0;
  optind = 0;  // starts getopt afresh, as a second run in one process needs
  for (;;) {
    const int previous = optind;
    const int found = getopt_long(argc, argv, ":o:qh", kOptions, nullptr);
    if (found == -1) {
      break;
    }
    const std::string value = optarg != nullptr ? optarg : "";
    switch (found) {
      case 'o':
        options.output = output_stem(value);
        if (options.output.empty()) {
          return report.usage("--output needs a name");
        }
        break;
      case kArray:
        if (!is_identifier(value)) {
          return report.usage("--array '" + rt::caret_notation(value) +
                              "': a C name is wanted (letters, digits and _, not first a digit)");
        }
        options.array = value;
        break;
      case kPart:
        if (value.empty()) {
          return report.usage("--part needs a part's number or id");
        }
        options.read.part = value;
        break;
      case kVoice:
        if (value.empty()) {
          return report.usage("--voice needs a voice");
        }
        options.read.voice = value;
        break;
      case kTempo: {
        const bool digits =
            !value.empty() && value.size() <= 3 && value.find_first_not_of("0123456789") == std::string::npos;
        const int tempo = digits ? std::stoi(value) : 0;
        if (tempo < 32 || tempo > 255) {
          return report.usage("--tempo '" + rt::caret_notation(value) +
                              "': 32 to 255 quarter notes a minute");
        }
        options.tempo = tempo;
        break;
      }
      case kList:
        options.list = true;
        break;
      case 'q':
        options.quiet = true;
        break;
      case 'h':
      case kVersion:
        // A help or version that never arrived is no success.
        if (!platform.write_output(found == 'h' ? kUsage : "arvonic " ARVONIC_VERSION "\n")) {
          return report.fail("standard output cannot be written");
        }
        return 0;
      case ':':
        return report.usage("option '" + rt::caret_notation(argv[optind - 1]) + "' needs a value");
      default: {
        const std::string given = optopt != 0 ? std::string("-") + static_cast<char>(optopt)
                                              : std::string(argv[previous < optind ? optind - 1 : previous]);
        return report.usage("unrecognized option '" + rt::caret_notation(given) + "'");
      }
    }
  }
  if (optind >= argc) {
    return report.usage("no score given");
  }
  if (argc - optind > 1) {
    return report.usage("one score at a time: '" + rt::caret_notation(argv[optind + 1]) +
                        "' is one too many");
  }
  options.score = argv[optind];
  if (options.score.empty()) {
    return report.usage("'' names no score");
  }
  if (options.output.empty() && !options.list) {
    if (options.score == "-") {
      return report.usage("a score from standard input needs -o NAME");
    }
    options.output = base_name(options.score);
    if (options.output.empty()) {
      return report.usage("no output name in '" + rt::caret_notation(options.score) +
                          "': give one with -o NAME");
    }
  }
  return options;
}

int list(rt::Platform& platform, Reporter& report, rt::PlatformFile& file, std::optional<std::int64_t> size,
         const std::string& shown) {
  auto parts = score::list_parts(file, size, shown);
  if (auto* error = std::get_if<score::ScoreError>(&parts)) {
    return report.fail(error->message);
  }
  std::string text;
  for (const score::PartSummary& part : std::get<std::vector<score::PartSummary>>(parts)) {
    std::string voices;
    for (const std::string& voice : part.voices) {
      voices += (voices.empty() ? "" : ",") + rt::caret_notation(voice);
    }
    text += std::to_string(part.number) + "  " + rt::caret_notation(part.id) + "  \"" +
            rt::caret_notation(part.name) + "\"  staves " + std::to_string(part.staves) + "  voices " +
            (voices.empty() ? "-" : voices) + "  notes " + std::to_string(part.notes) + "\n";
  }
  return platform.write_output(text) ? 0 : report.fail("standard output cannot be written");
}

// Both files whole, or neither touched where the platform can promise it.
bool write_pair(rt::Platform& platform, const std::string& stem, const std::string& array,
                const play::WrittenMelody& written, std::string& failed) {
  std::string header = "const PROGMEM unsigned char " + array + "[]=\\\r\n";
  std::string program;
  for (std::size_t i = 0; i < written.lines.size(); ++i) {
    header += "\"" + written.lines[i] + (i + 1 == written.lines.size() ? "\";\r\n" : "\"\r\n");
    program += "PLAY \"" + written.lines[i] + "\"\r\n";
  }
  const std::string names[2] = {stem + ".h", stem + ".bas"};
  const std::string* contents[2] = {&header, &program};
  rt::OpenedFile files[2];
  bool good[2] = {false, false};
  for (int i = 0; i < 2; ++i) {
    files[i] = platform.open_file(names[i], rt::OpenHow::write_truncate);
    good[i] = files[i].stream != nullptr && files[i].stream->write(contents[i]->data(), contents[i]->size());
  }
  const bool all = good[0] && good[1];
  for (int i = 0; i < 2; ++i) {
    if (files[i].stream != nullptr) {
      good[i] =
          files[i].stream->close(all ? rt::PlatformFile::Finish::keep : rt::PlatformFile::Finish::discard) &&
          good[i];
    }
    if (!good[i] && failed.empty()) {
      failed = names[i];
    }
  }
  return good[0] && good[1];
}

int convert(rt::Platform& platform, Reporter& report, const DirectOptions& options) {
  const std::string shown = options.score == "-" ? "<stdin>" : rt::caret_notation(options.score);
  rt::OpenedFile opened = options.score == "-" ? platform.open_standard_input()
                                               : platform.open_file(options.score, rt::OpenHow::read_only);
  if (opened.stream == nullptr) {
    return report.fail(shown + ": cannot be opened (no such file, or not readable)");
  }
  if (options.list) {
    const int status = list(platform, report, *opened.stream, opened.size, shown);
    opened.stream->close(rt::PlatformFile::Finish::keep);
    return status;
  }
  auto read = score::read_melody(*opened.stream, opened.size, shown, options.read);
  opened.stream->close(rt::PlatformFile::Finish::keep);
  if (auto* error = std::get_if<score::ScoreError>(&read)) {
    return report.fail(error->message);
  }
  const score::Melody& melody = std::get<score::Melody>(read);
  const play::WrittenMelody written = play::write_play(melody, play::WriteOptions{options.tempo});

  std::string failed;
  if (!write_pair(platform, options.output, options.array, written, failed)) {
    return report.fail(rt::caret_notation(failed) + ": cannot be written");
  }
  std::size_t bytes = 0;
  for (const std::string& line : written.lines) {
    bytes += line.size();
  }
  if (!options.quiet) {
    // Part names and measure numbers come from the score.
    platform.write_error(rt::caret_notation(summary_line(options.output + ".h", melody, written) +
                                            notice_lines(melody, written)));
  }
  platform.write_error(rt::caret_notation(warning_lines(written, bytes + 1)));
  return 0;
}

}  // namespace

int run_direct(rt::Platform& platform, int argc, char** argv) {
  Reporter report(platform);
  auto parsed = parse(platform, report, argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) {
    return *status;
  }
  const DirectOptions& options = std::get<DirectOptions>(parsed);
  try {
    return convert(platform, report, options);
  } catch (const std::bad_alloc&) {
    return report.fail(rt::caret_notation(options.score) + ": out of memory");
  } catch (const std::exception& error) {
    return report.fail(rt::caret_notation(options.score) + ": " + error.what());
  }
}

}  // namespace arvonic
