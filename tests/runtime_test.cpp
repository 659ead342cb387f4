// The run-time error report, program end, constant tables and console output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/errors/errors.hpp"
#include "runtime/platform/memory/memory_platform.hpp"
#include "runtime/runtime.hpp"
#include "runtime/text/data_tables.hpp"

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

TEST(ConsoleOutput, ALineEndFollowsLinesOfEveryLength) {
  // Short lines are joined with their line end in another place than long ones.
  for (std::size_t length = 0; length <= 200; ++length) {
    rt::MemoryPlatform platform;
    const std::string line(length, 'x');
    rt::run_program(platform, rt::DataTables(), [&line](rt::Runtime& runtime) {
      runtime.print_text(0, line, true);
      runtime.print_text(0, "", true);
    });
    EXPECT_EQ(platform.output, line + "\r\n\r\n") << length;
  }
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
      {"terminal: every change drawn", true, "ab\x08\r", "a",
       "\ra\x1b[K\r\x1b[1C\rab\x1b[K\r\x1b[2C\ra\x1b[K\r\x1b[1C\r\x1b[1C\r\n"},
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
  EXPECT_TRUE(platform.output.ends_with("\r\x1b[2C")) << platform.output;
}

struct RowCase {
  const char* name;
  std::string prompt;
  std::vector<int> keys;
  bool utf8;
  std::string frame;   // the row as last drawn: prompt, what fits of the reply, cursor
  std::string behind;  // the cursor behind what is drawn, once the reply ended
};

std::vector<int> keys_of(const std::string& bytes) {
  std::vector<int> keys;
  for (const char c : bytes) {
    keys.push_back(static_cast<unsigned char>(c));
  }
  return keys;
}

TEST(ConsoleInput, AReplyWiderThanTheRowScrollsOnItsRowAndIsDrawnAgainAfterAStop) {
  const std::string letters = "abcdefghijklmnopqrstuvwxyz";
  std::string umlauts;
  for (int i = 0; i < 15; ++i) {
    umlauts += "\xc3\xa4";
  }
  std::vector<int> home = keys_of(letters);
  home.push_back(rt::kKeyHome);
  std::vector<int> right = home;
  right.insert(right.end(), 15, rt::kKeyRight);
  // 20 columns, a prompt of 5, the last column kept free: 14 for the reply and its cursor.
  const RowCase cases[] = {
      {"typed past the edge", "name:", keys_of(letters), false, "\rname:nopqrstuvwxyz\x1b[K\r\x1b[18C",
       "\r\x1b[18C"},
      {"home shows the start", "name:", home, false, "\rname:abcdefghijklmn\x1b[K\r\x1b[5C", "\r\x1b[19C"},
      {"right scrolls as little as it must", "name:", right, false, "\rname:cdefghijklmnop\x1b[K\r\x1b[18C",
       "\r\x1b[19C"},
      {"a UTF-8 character takes one column", "name:", keys_of(umlauts), true,
       "\rname:" + umlauts.substr(4) + "\x1b[K\r\x1b[18C", "\r\x1b[18C"},
      {"control bytes in caret notation", "\x1b[2J:",
       keys_of("a\x7f"
               "b"),
       false, "\r^[[2J:a^?b\x1b[K\r\x1b[10C", "\r\x1b[10C"},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    platform.terminal = true;
    platform.width = 20;
    platform.utf8 = c.utf8;
    platform.keys.assign(c.keys.begin(), c.keys.end());
    platform.keys.push_back(rt::MemoryPlatform::kResume);
    rt::run_program(platform, rt::DataTables(),
                    [&](rt::Runtime& runtime) { runtime.input_line(c.prompt, false, false); });
    // The last key's frame, the same again after the stop, then the end of the reply.
    EXPECT_TRUE(platform.output.ends_with(c.frame + c.frame + c.behind)) << c.name << ": " << platform.output;
    EXPECT_EQ(platform.output.find('\n'), std::string::npos) << c.name;
  }
}

TEST(ConsoleOutput, ControlBytesReachATerminalInCaretNotationAndAStreamAsTheyAre) {
  const std::string line = "Error in line 3:\x1b]2;title\x07\x1b[2J\t\x7f\r\n";
  for (const bool terminal : {false, true}) {
    rt::MemoryPlatform platform;
    platform.terminal = terminal;
    rt::run_program(platform, rt::DataTables(),
                    [&](rt::Runtime& runtime) { runtime.print_text(0, line, false); });
    EXPECT_EQ(platform.output, terminal ? "Error in line 3:^[]2;title^G^[[2J^I^?\r\n" : line);
  }
  // The text window in a terminal: the same, and a shown byte takes its two columns.
  rt::MemoryPlatform platform;
  platform.terminal = true;
  rt::run_program(platform, rt::DataTables(), [](rt::Runtime& runtime) {
    runtime.open_window();
    runtime.print_text(0, std::string(79, 'x') + "\x1b", false);
  });
  EXPECT_EQ(platform.output, std::string(79, 'x') + "\r\n^[");
}

TEST(ConsoleInput, PromptAndQuestionMark) {
  rt::MemoryPlatform platform;
  platform.type("7\r");
  rt::run_program(platform, rt::DataTables(),
                  [](rt::Runtime& runtime) { runtime.input_line("How many", true, false); });
  EXPECT_EQ(platform.output, "How many? 7");
}

}  // namespace
