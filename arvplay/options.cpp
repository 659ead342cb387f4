#include "arvplay/options.hpp"

#include <charconv>

namespace arvplay {

const char* const kUsage =
    "usage: arvplay [OPTION]... FILE...\n"
    "Plays the PLAY music string of each FILE: a header arvonic or notepack\n"
    "wrote, a .bas file of PLAY statements, or a text file holding the string.\n"
    "A MusicXML score (.xml, .musicxml, .mxl) plays as arvonic would write it,\n"
    "so it can be heard before it is flashed. FILE - reads standard input.\n"
    "\n"
    "  -e STRING       play STRING itself, as if it were a file\n"
    "  -o OUT.wav      write the sound to OUT instead of playing it; the format\n"
    "                  follows the extension (.wav, .flac, .ogg, .mp3, .aiff)\n"
    "      --events    print when each note starts, how long it lasts, its name\n"
    "                  and frequency, and play nothing\n"
    "      --tempo T   start at T quarter notes a minute (32 to 255), not 120;\n"
    "                  a score plays at T throughout, its tempo marks ignored\n"
    "      --part PART   of a score: the part numbered PART from 1, or its id\n"
    "      --voice VOICE of a score: this voice of the part's top staff\n"
    "      --sine      a soft sine wave instead of the square wave\n"
    "  -h, --help      show this help and end\n"
    "      --version   show the version and end\n"
    "\n"
    "Ctrl+C stops playing. Exit status: 0 when all went well, 1 on an error.\n";

namespace {

// The value of an option given as "-x VALUE", "-xVALUE", "--name VALUE" or
// "--name=VALUE"; prefix is the length of "-x" or "--name".
bool take_value(const std::vector<std::string>& arguments, std::size_t& i, std::size_t prefix,
                std::string& value) {
  const std::string& argument = arguments[i];
  if (argument.size() > prefix) {
    value = argument.substr(argument.starts_with("--") && argument[prefix] == '=' ? prefix + 1 : prefix);
    return true;
  }
  if (i + 1 < arguments.size()) {
    value = arguments[++i];
    return true;
  }
  return false;
}

}  // namespace

Options parse_options(const std::vector<std::string>& arguments) {
  Options options;
  bool only_files = false;
  for (std::size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
    const std::string& argument = arguments[i];
    if (only_files || argument == "-" || !argument.starts_with("-")) {
      const bool standard = argument == "-" && !only_files;
      options.inputs.push_back({standard ? Input::Kind::standard_input : Input::Kind::file, argument});
    } else if (argument == "--") {
      only_files = true;
    } else if (argument == "-h" || argument == "--help") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--events") {
      options.events = true;
    } else if (argument == "--sine") {
      options.sine = true;
    } else if (argument.starts_with("-e")) {
      std::string text;
      if (!take_value(arguments, i, 2, text)) {
        options.error = "-e needs a PLAY string";
      }
      options.inputs.push_back({Input::Kind::text, text});
    } else if (argument.starts_with("-o")) {
      if (!take_value(arguments, i, 2, options.output) || options.output.empty()) {
        options.error = "-o needs the name of a sound file";
      }
    } else if (argument == "--part" || argument.starts_with("--part=") || argument == "--voice" ||
               argument.starts_with("--voice=")) {
      const bool part = argument.starts_with("--part");
      std::string& value = part ? options.part : options.voice;
      if (!take_value(arguments, i, part ? 6 : 7, value) || value.empty()) {
        options.error = part ? "--part needs a part's number or id" : "--voice needs a voice";
      }
    } else if (argument == "--tempo" || argument.starts_with("--tempo=")) {
      std::string value;
      int tempo = 0;
      const bool given = take_value(arguments, i, 7, value);
      const auto parsed = std::from_chars(value.data(), value.data() + value.size(), tempo);
      if (!given || parsed.ec != std::errc() || parsed.ptr != value.data() + value.size() || tempo < 32 ||
          tempo > 255) {
        options.error = "--tempo needs a number from 32 to 255";
      }
      options.tempo = tempo;
    } else {
      options.error = "unknown option " + argument;
    }
  }
  if (!options.error.empty() || options.help || options.version) {
    return options;
  }
  if (options.inputs.empty()) {
    options.error = "nothing to play: give a FILE, - or -e STRING";
  } else if (!options.output.empty() && options.inputs.size() > 1) {
    options.error = "-o writes the sound of one FILE; give one";
  } else if (!options.output.empty() && options.events) {
    options.error = "--events plays nothing and writes nothing: leave out -o";
  }
  return options;
}

}  // namespace arvplay
