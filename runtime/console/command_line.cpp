#include "runtime/console/command_line.hpp"

namespace rt {
namespace {

// An argument is echoed in an error that may reach a terminal: its control
// bytes are shown in caret notation, so no argument can drive the terminal.
std::string shown(std::string_view argument) {
  std::string text;
  for (const char c : argument) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) {
      text += '^';
      text += static_cast<char>(byte ^ 0x40U);
    } else {
      text += c;
    }
  }
  return text;
}

CommandLineAnswer refused(const ProgramAbout& about, std::string_view argument) {
  const std::string name(about.name);
  const bool option = argument.size() > 1 && argument.front() == '-';
  return {kExitUsage,
          {},
          name + (option ? ": unrecognized option '" : ": unexpected argument '") + shown(argument) + "'\n" +
              "Try '" + name + " --help'.\n"};
}

}  // namespace

std::optional<CommandLineAnswer> read_command_line(const ProgramAbout& about, int argc,
                                                   const char* const* argv) {
  if (argc <= 1) {
    return std::nullopt;
  }
  // Every argument must be one of the three before the first of them is answered.
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument != "-h" && argument != "--help" && argument != "--version") {
      return refused(about, argument);
    }
  }
  if (std::string_view(argv[1]) == "--version") {
    return CommandLineAnswer{0, std::string(about.name) + " " + ARVONIC_VERSION + "\n", {}};
  }
  return CommandLineAnswer{0, std::string(about.usage), {}};
}

}  // namespace rt
