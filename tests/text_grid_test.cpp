// The text window's grid and the two ways it is shown without a desktop.
#include "runtime/platform/text_grid.hpp"

#include <gtest/gtest.h>

#include <string>

#include "runtime/console/window.hpp"
#include "runtime/platform/memory/memory_platform.hpp"
#include "runtime/runtime.hpp"

namespace {

using rt::TextGrid;

TEST(TextGrid, LineEndsWrappingAndScrolling) {
  struct Case {
    const char* name;
    std::string printed;
    int row;  // a row to look at
    std::string row_text;
    int cursor_row;
    int cursor_column;
  };
  const std::string full_row(80, 'x');
  const Case cases[] = {
      {"CR LF starts the next row", "ab\r\ncd", 1, "cd", 1, 2},
      {"CR alone returns to the first column", "abc\rX", 0, "Xbc", 0, 1},
      {"LF alone starts the next row", "ab\ncd", 1, "cd", 1, 2},
      {"a long line wraps at column 80", full_row + "yz", 1, "yz", 1, 2},
      {"a full row then CR LF adds no empty row", full_row + "\r\nz", 1, "z", 1, 1},
      {"control bytes are drawn", std::string("a\0\x07", 3), 0, std::string("a\0\x07", 3), 0, 3},
  };
  for (const auto& c : cases) {
    TextGrid grid;
    grid.print(c.printed);
    EXPECT_EQ(grid.row_text(c.row), c.row_text) << c.name;
    EXPECT_EQ(grid.cursor_row(), c.cursor_row) << c.name;
    EXPECT_EQ(grid.cursor_column(), c.cursor_column) << c.name;
  }
}

TEST(TextGrid, ScrollsWhenTextGoesPastTheBottomRow) {
  TextGrid grid;
  for (int line = 0; line < 35; ++line) {
    grid.print("line " + std::to_string(line) + "\r\n");
  }
  // 35 line ends from row 0 leave the cursor on the bottom row, empty.
  EXPECT_EQ(grid.cursor_row(), TextGrid::kRows - 1);
  EXPECT_EQ(grid.row_text(0), "line 6");
  EXPECT_EQ(grid.row_text(28), "line 34");
  EXPECT_EQ(grid.row_text(29), "");

  TextGrid wrapping;
  wrapping.print(std::string(std::size_t{80} * 31, 'w'));  // wrapping past the bottom scrolls too
  EXPECT_EQ(wrapping.cursor_row(), TextGrid::kRows - 1);
  EXPECT_EQ(wrapping.row_text(0), std::string(80, 'w'));
}

TEST(WindowViews, AStreamGetsTheBytesAsPrintedAndATerminalGetsRowsOf80) {
  const std::string text = std::string(85, 'a') + "\r\nb";
  rt::MemoryPlatform stream;
  rt::Window to_stream("t", rt::make_grid_view(stream, "t"));
  to_stream.print(text);
  EXPECT_EQ(stream.output, "");  // held back until a wait, a full piece or the close
  to_stream.close();
  EXPECT_EQ(stream.output, text);
  to_stream.print("after the close");
  EXPECT_EQ(stream.output, text);

  rt::MemoryPlatform terminal;
  terminal.terminal = true;
  rt::Window to_terminal("t", rt::make_grid_view(terminal, "t"));
  to_terminal.print(std::string(80, 'a'));
  to_terminal.print(std::string(5, 'a') + "\r\nb");
  EXPECT_EQ(terminal.output, std::string(80, 'a') + "\r\n" + std::string(5, 'a') + "\r\nb");
  EXPECT_EQ(to_terminal.grid().row_text(1), "aaaaa");
}

// A window nobody watches would wait for a key that cannot come: output sent
// to a file or a pipe is a stream there, display or not.
TEST(WindowViews, TheDesktopWindowOpensOnlyForOutputToATerminal) {
  struct Case {
    bool terminal;
    bool desktop;
    bool window_opens;
  };
  for (const Case c : {Case{false, true, false}, Case{true, true, true}, Case{true, false, false},
                       Case{false, false, false}}) {
    SCOPED_TRACE(testing::Message() << "terminal " << c.terminal << ", desktop " << c.desktop);
    rt::MemoryPlatform platform;
    platform.terminal = c.terminal;
    platform.desktop = c.desktop;
    rt::Window window("t", rt::make_grid_view(platform, "t"));
    window.print("noteC42\r\n");
    window.close();
    EXPECT_EQ(platform.desktop_windows, c.window_opens ? 1 : 0);
    EXPECT_EQ(platform.desktop_shown, c.window_opens ? "noteC42\r\n" : "");
    EXPECT_EQ(platform.output, c.window_opens ? "" : "noteC42\r\n");
  }
}

TEST(WindowViews, AStreamIsWrittenBeforeEveryWaitAndInLargePieces) {
  rt::MemoryPlatform platform;
  platform.type("k");
  rt::run_program(platform, rt::DataTables(), [&](rt::Runtime& runtime) {
    runtime.open_window();
    runtime.print_text(0, "before the wait", true);
    EXPECT_EQ(platform.output, "");
    runtime.wait_key(-1);
    EXPECT_EQ(platform.output, "before the wait\r\n");
    const std::string piece(rt::StreamGridView::kPiece, 'p');
    runtime.print_text(0, piece, false);
    EXPECT_EQ(platform.output.size(), piece.size() + 17);
    runtime.print_text(0, "at the end", false);
  });
  EXPECT_TRUE(platform.output.ends_with("pat the end"));
}

TEST(WindowViews, TheWindowTakesConsoleOutputAndThePlatformsName) {
  rt::MemoryPlatform platform;
  platform.name = "notepack";
  platform.terminal = true;  // a view that draws the grid
  platform.type("q");
  rt::run_program(platform, rt::DataTables(), [](rt::Runtime& runtime) {
    runtime.open_window();
    runtime.print_text(0, "ok", true);
    ASSERT_NE(runtime.window(), nullptr);
    EXPECT_EQ(runtime.window()->title(), "notepack");
    EXPECT_EQ(runtime.window()->grid().row_text(0), "ok");
    EXPECT_EQ(runtime.poll_key(), "q");
  });
  EXPECT_EQ(platform.output, "ok\r\n");
}

}  // namespace
