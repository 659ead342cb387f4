// Both built programs asked for help, their version, or given a wrong
// argument: answered on the standard streams before any run, with the score,
// its outputs and the keys on standard input all left alone.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "process_runner.hpp"
#include "score_builder.hpp"

namespace {

using testing_support::InputKind;
using testing_support::Score;
using testing_support::TempFolder;

struct Case {
  std::string program;
  std::vector<std::string> arguments;
  std::string answer;  // "help", "version", or the error after the program's name
};

TEST(CommandLine, AnswersHelpVersionAndWrongArgumentsWithoutARun) {
  const Case cases[] = {
      {"arvonic", {"--help"}, "help"},
      {"notepack", {"-h"}, "help"},
      {"arvonic", {"--version"}, "version"},
      {"notepack", {"--version", "--help"}, "version"},
      {"arvonic", {"--verbose", "score.xml"}, "unrecognized option '--verbose'"},
      {"notepack", {"--verbose"}, "unrecognized option '--verbose'"},
      {"arvonic", {"--tempo=300", "score.xml"}, "--tempo '300': 32 to 255 quarter notes a minute"},
      {"arvonic",
       {"--array", "2x", "score.xml"},
       "--array '2x': a C name is wanted (letters, digits and _, not first a digit)"},
      {"arvonic", {"-o"}, "option '-o' needs a value"},
      {"arvonic", {"a.xml", "b.xml"}, "one score at a time: 'b.xml' is one too many"},
      {"notepack", {"\x1b[2J"}, "unexpected argument '^[[2J'"},
      {"arvonic", {""}, "'' names no score"},
  };
  const std::string score = Score::worked_example().text();
  for (const auto& c : cases) {
    const std::string name = c.program + " " + (c.arguments.empty() ? "" : c.arguments.front());
    TempFolder folder;
    folder.write("score.xml", score);
    folder.write("score.h", "old");
    folder.write("tarvel.h", "old");
    const auto program = c.program == "arvonic" ? ARVONIC_PROGRAM : NOTEPACK_PROGRAM;
    const auto result =
        testing_support::run_process(program, folder.path(), "\n\n", InputKind::pipe, 30000, c.arguments);
    const bool refused = c.answer != "help" && c.answer != "version";
    if (c.answer == "help") {
      const std::string usage = c.program == "arvonic" ? "[OPTION]... SCORE\n" : "[--help | --version]\n";
      EXPECT_TRUE(result.out.starts_with("Usage: " + c.program + " " + usage)) << name;
      EXPECT_TRUE(result.out.ends_with("\nFull documentation: man " + c.program + "\n")) << name;
    } else {
      EXPECT_EQ(result.out, refused ? "" : c.program + " " + ARVONIC_VERSION + "\n") << name;
    }
    EXPECT_EQ(result.err, refused ? c.program + ": " + c.answer + "\nTry '" + c.program + " --help'.\n" : "")
        << name;
    EXPECT_EQ(result.exit_code, refused ? 2 : 0) << name;
    EXPECT_EQ(folder.read("score.xml"), score) << name;
    EXPECT_EQ(folder.read("score.h"), "old") << name;
    EXPECT_EQ(folder.read("tarvel.h"), "old") << name;
    const auto entries = std::distance(std::filesystem::directory_iterator(folder.path()), {});
    EXPECT_EQ(entries, 3) << name;
  }
}

TEST(CommandLine, AnAnswerThatCannotBeWrittenIsNotASuccess) {
  for (const char* program : {ARVONIC_PROGRAM, NOTEPACK_PROGRAM}) {
    const int status = std::system((std::string(program) + " --version > /dev/full 2> /dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << program << " " << status;
  }
}

}  // namespace
