// The command line of both programs. They take no arguments: --help and
// --version are answered and anything else is refused, before a run starts,
// so that none of these reads or writes a file or touches the terminal.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rt {

// What a program says about itself: its name and its --help text.
struct ProgramAbout {
  std::string_view name;
  std::string_view usage;
};

struct CommandLineAnswer {
  int exit_code = 0;
  std::string standard_output;
  std::string standard_error;
};

// The exit code of a refused argument, as command-line tools give it.
inline constexpr int kExitUsage = 2;

// Nothing when there is no argument: the run goes ahead as always.
std::optional<CommandLineAnswer> read_command_line(const ProgramAbout& about, int argc,
                                                   const char* const* argv);

}  // namespace rt
