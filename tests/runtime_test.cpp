// The run-time error report, program end, constant tables and console output.
#include <gtest/gtest.h>

#include <string>

#include "runtime/data_tables.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory_platform.hpp"
#include "runtime/runtime.hpp"

namespace {

struct ReportCase {
  std::int32_t number;
  std::int32_t line;
  std::optional<std::string_view> module;
  std::string expected;
};

TEST(ErrorReport, ComposesItsPiecesInOrder) {
  const ReportCase cases[] = {
      {6, 106, "arvonic",
       "\nAborting due to runtime error 6 (out of bounds array access) at line 106 of arvonic()\n\n"},
      {6, 0, "arvonic", "\nAborting due to runtime error 6 (out of bounds array access) in arvonic()\n\n"},
      {20, 5, "m", "\nAborting due to runtime error 20 at line 5 of m()\n\n"},
      {9, 0, std::nullopt, "\nAborting due to runtime error 9 (\"interrupted\" signal)\n\n"},
      {0, -1, std::nullopt, "\nAborting due to runtime error 0 ()\n\n"},
      {-1, 0, std::nullopt, "\nAborting due to runtime error -1\n\n"},
      {17, 0, std::nullopt, "\nAborting due to runtime error 17 (end of file)\n\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rt::compose_report(c.number, c.line, c.module), c.expected);
  }
}

TEST(ErrorReport, IsCutAt1023Bytes) {
  const std::string module(2000, 'm');
  const auto report = rt::compose_report(6, 1, module);
  EXPECT_EQ(report.size(), 1023U);
  EXPECT_EQ(report.back(), 'm');
}

TEST(ErrorReport, IndexCheckComparesUnsigned) {
  EXPECT_TRUE(rt::index_within(0, 100));
  EXPECT_TRUE(rt::index_within(100, 100));
  EXPECT_FALSE(rt::index_within(101, 100));
  EXPECT_FALSE(rt::index_within(-1, 100));
  EXPECT_FALSE(rt::index_within(-2147483647 - 1, 100));
}

TEST(ProgramEnd, ARunTimeErrorClosesFilesThenReportsWithCrLf) {
  rt::MemoryPlatform platform;
  const int code = rt::run_program(platform, rt::DataTables(), [](rt::Runtime& runtime) {
    runtime.open_file("out.h", rt::FileMode::output, rt::FileAccess::default_access, 2);
    runtime.print_text(2, "kept", true);
    runtime.check_index(100, 100, 133, "arvonic");
    runtime.check_index(101, 100, 133, "arvonic");
    runtime.print_text(2, "never", true);
  });
  EXPECT_EQ(code, 6);
  EXPECT_EQ(platform.file("out.h"), "kept\r\n");
  EXPECT_EQ(platform.error,
            "\r\nAborting due to runtime error 6 (out of bounds array access) at line 133 of "
            "arvonic()\r\n\r\n");
}

TEST(ProgramEnd, ANormalEndWritesNothingToTheErrorStream) {
  rt::MemoryPlatform platform;
  EXPECT_EQ(rt::run_program(platform, rt::DataTables(), [](rt::Runtime& runtime) { runtime.end_program(3); }),
            3);
  EXPECT_EQ(rt::run_program(platform, rt::DataTables(), [](rt::Runtime&) {}), 0);
  EXPECT_EQ(platform.error, "");
}

TEST(ConstantTables, TheCursorRunsOnIntoTheNextLineAndIsThenExhausted) {
  rt::DataTables tables({{"first", {"a", "b"}}, {"", {}}, {"second", {"c"}}, {"", {"d"}}});
  EXPECT_EQ(tables.read_item(), "a");  // the cursor starts on the first item
  tables.restore_table("first");
  EXPECT_EQ(tables.read_item(), "a");
  EXPECT_EQ(tables.read_item(), "b");
  EXPECT_EQ(tables.read_item(), "c");
  tables.restore_table("second");
  EXPECT_EQ(tables.read_item(), "c");
  EXPECT_EQ(tables.read_item(), "d");
  EXPECT_EQ(tables.read_item(), "");
  EXPECT_EQ(tables.read_item(), "");
  tables.restore_table("no such label");
  EXPECT_EQ(tables.read_item(), "");
}

TEST(ConsoleOutput, PrintsWithCrLfAndASignPosition) {
  rt::MemoryPlatform platform;
  rt::run_program(platform, rt::DataTables(), [](rt::Runtime& runtime) {
    runtime.print_integer(0, 17, false);
    runtime.print_integer(0, -3, false);
    runtime.print_integer(0, 0, true);
    runtime.print_text(0, "ok", true);
    runtime.print_line_end(0);
    runtime.print_text(7, "nowhere", true);
    EXPECT_EQ(runtime.error_number(), 1);
    EXPECT_EQ(runtime.set_error_number(0), 0);
  });
  EXPECT_EQ(platform.output, " 17-3 0\r\nok\r\n\r\n");
}

struct InputCase {
  const char* name;
  bool terminal;
  std::string keys;
  std::string reply;
  std::string output;
};

TEST(ConsoleInput, DrawsLiveOnATerminalAndOnceElsewhere) {
  const InputCase cases[] = {
      {"stream: the finished reply once", false,
       "ab\x08"
       "c\r",
       "ac", "ac\r\n"},
      {"stream: end of input ends the reply", false, "tune", "tune", "tune\r\n"},
      {"stream: empty reply", false, "\n", "", "\r\n"},
      {"terminal: every change drawn", true, "ab\x08\r", "a", "a\x1b[K\x1b[1Dab\x1b[K\x1b[2Da\x1b[K\r\n"},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    platform.terminal = c.terminal;
    platform.type(c.keys);
    std::string reply;
    rt::run_program(platform, rt::DataTables(),
                    [&](rt::Runtime& runtime) { reply = runtime.input_line("", false, true); });
    EXPECT_EQ(reply, c.reply) << c.name;
    if (!c.output.empty()) {
      EXPECT_EQ(platform.output, c.output) << c.name;
    }
  }
}

TEST(ConsoleInput, ATerminalBeepsAndGetsTheCursorBehindTheReply) {
  rt::MemoryPlatform platform;
  platform.terminal = true;
  platform.keys = {'a',          'b',
                   'c',          rt::kKeyLeft,
                   rt::kKeyLeft, rt::kKeyDelete,
                   rt::kKeyEnd,  rt::kKeyDelete,
                   rt::kKeyLeft, rt::kKeyEnter};
  std::string reply;
  rt::run_program(platform, rt::DataTables(),
                  [&](rt::Runtime& runtime) { reply = runtime.input_line("", false, false); });
  EXPECT_EQ(reply, "ac");
  EXPECT_EQ(platform.beeps, 1);
  EXPECT_TRUE(platform.output.ends_with("\x1b[1C")) << platform.output;
}

TEST(ConsoleInput, PromptAndQuestionMark) {
  rt::MemoryPlatform platform;
  platform.type("7\r");
  rt::run_program(platform, rt::DataTables(),
                  [](rt::Runtime& runtime) { runtime.input_line("How many", true, false); });
  EXPECT_EQ(platform.output, "How many? 7");
}

}  // namespace
