#include "runtime/files/files.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "runtime/platform/memory/memory_platform.hpp"

namespace {

using rt::FileAccess;
using rt::FileMode;

struct OpenCase {
  const char* name;
  bool exists;
  bool read_only;
  FileMode mode;
  FileAccess access;
  std::int32_t result;
  const char* content_after;  // nullptr: the file does not exist afterwards
};

TEST(NumberedFiles, OpensByModeAndAccess) {
  const OpenCase cases[] = {
      {"output creates", false, false, FileMode::output, FileAccess::default_access, 0, ""},
      {"output empties", true, false, FileMode::output, FileAccess::default_access, 0, ""},
      {"output refused", true, true, FileMode::output, FileAccess::default_access, 2, "old"},
      {"append keeps", true, false, FileMode::append, FileAccess::default_access, 0, "old"},
      {"append creates", false, false, FileMode::append, FileAccess::default_access, 0, ""},
      {"input needs the file", false, false, FileMode::input, FileAccess::default_access, 2, nullptr},
      {"input reads", true, true, FileMode::input, FileAccess::default_access, 0, "old"},
      {"binary creates", false, false, FileMode::binary, FileAccess::default_access, 0, ""},
      {"binary keeps", true, false, FileMode::binary, FileAccess::default_access, 0, "old"},
      {"binary falls back to reading", true, true, FileMode::binary, FileAccess::default_access, 0, "old"},
      {"binary read-write has no fallback", true, true, FileMode::binary, FileAccess::read_write, 2, "old"},
      {"binary read needs the file", false, false, FileMode::binary, FileAccess::read, 2, nullptr},
      {"binary write empties", true, false, FileMode::binary, FileAccess::write, 0, ""},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    if (c.exists) {
      platform.add_file("f", "old");
      platform.files["f"].read_only = c.read_only;
    }
    rt::NumberedFiles files(platform);
    EXPECT_EQ(files.open("f", c.mode, c.access, 5), c.result) << c.name;
    EXPECT_EQ(files.in_use(5), c.result == 0) << c.name;
    files.close_all();
    const auto content = platform.file("f");
    if (c.content_after == nullptr) {
      EXPECT_FALSE(content.has_value()) << c.name;
    } else {
      EXPECT_EQ(content.value_or("<none>"), c.content_after) << c.name;
    }
  }
}

TEST(NumberedFiles, NumbersOutsideTheRangeOrInUseAreRefused) {
  rt::MemoryPlatform platform;
  platform.add_file("f", "");
  rt::NumberedFiles files(platform);
  EXPECT_EQ(files.open("f", FileMode::input, FileAccess::default_access, 0), 1);
  EXPECT_EQ(files.open("f", FileMode::input, FileAccess::default_access, 256), 1);
  EXPECT_EQ(files.open("f", FileMode::input, FileAccess::default_access, 255), 0);
  EXPECT_EQ(files.open("f", FileMode::input, FileAccess::default_access, 255), 1);
  EXPECT_EQ(files.close(255), 0);
  EXPECT_EQ(files.close(255), 1);
  EXPECT_EQ(files.close(0), 1);
  EXPECT_EQ(files.close(-3), 1);
  EXPECT_EQ(files.open("missing/f", FileMode::output, FileAccess::default_access, 1), 2);
}

TEST(NumberedFiles, BinaryEndComesRightAfterTheLastByteOfTheSizeAtOpen) {
  rt::MemoryPlatform platform;
  platform.add_file("one", "x");
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("one", FileMode::binary, FileAccess::default_access, 1), 0);
  EXPECT_EQ(files.at_end(1), 0);
  EXPECT_EQ(files.read_bytes(1, 1), "x");
  EXPECT_EQ(files.at_end(1), -1);
  EXPECT_EQ(files.read_bytes(1, 1), "");

  ASSERT_EQ(files.open("new", FileMode::binary, FileAccess::default_access, 2), 0);
  EXPECT_EQ(files.at_end(2), -1);  // created empty
  EXPECT_EQ(files.at_end(3), -1);  // not in use
  EXPECT_EQ(files.read_bytes(1, 3), "");
}

TEST(NumberedFiles, BinaryEndFollowsTheRecordedSizeNotTheGrowth) {
  rt::MemoryPlatform platform;
  platform.add_file("f", "ab");
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("f", FileMode::binary, FileAccess::default_access, 1), 0);
  platform.files["f"].data = "abcdef";
  EXPECT_EQ(files.read_bytes(2, 1), "ab");
  EXPECT_EQ(files.at_end(1), -1);
}

TEST(NumberedFiles, BinaryFileThatShrinksStillEnds) {
  rt::MemoryPlatform platform;
  platform.add_file("f", "abcdef");
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("f", FileMode::binary, FileAccess::default_access, 1), 0);
  platform.files["f"].data = "ab";
  EXPECT_EQ(files.read_bytes(10, 1), "ab");
  EXPECT_EQ(files.at_end(1), -1);  // no reader spins on a size that never comes
}

TEST(NumberedFiles, AStreamWithoutASizeIsReadToItsEnd) {
  rt::MemoryPlatform platform;
  platform.add_file("fifo", "ab\ncd");
  platform.files["fifo"].stream = true;
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("fifo", FileMode::binary, FileAccess::default_access, 1), 0);
  EXPECT_EQ(files.at_end(1), 0);
  std::string line;
  EXPECT_TRUE(files.read_until(1, '\n', line));
  EXPECT_EQ(files.read_bytes(10, 1), "cd");
  EXPECT_EQ(files.at_end(1), -1);
  EXPECT_FALSE(files.read_failed(1));
}

TEST(NumberedFiles, AFifoWaitsForItsWriterAndTellsWhileItWaits) {
  rt::MemoryPlatform platform;
  platform.add_file("fifo", "ab");
  platform.files["fifo"].stream = true;
  platform.files["fifo"].writer_comes_after = 3;
  rt::NumberedFiles files(platform);
  int waits = 0;
  files.on_waiting_for_writer([&waits] { ++waits; });
  ASSERT_EQ(files.open("fifo", FileMode::binary, FileAccess::default_access, 1), 0);
  EXPECT_EQ(files.at_end(1), 0);  // not ended: the writer was still to come
  EXPECT_EQ(waits, 3);
  EXPECT_EQ(files.read_bytes(10, 1), "ab");
  EXPECT_EQ(files.at_end(1), -1);
}

TEST(NumberedFiles, AReadErrorGivesTheBytesBeforeItAndIsKept) {
  rt::MemoryPlatform platform;
  platform.add_file("f", std::string(20000, 'x'));
  platform.files["f"].read_error_at = 10000;
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("f", FileMode::binary, FileAccess::default_access, 1), 0);
  EXPECT_EQ(files.read_bytes(20000, 1).size(), 10000U);
  EXPECT_TRUE(files.read_failed(1));
  EXPECT_EQ(files.at_end(1), -1);
}

TEST(NumberedFiles, InputModeLooksOneByteAhead) {
  rt::MemoryPlatform platform;
  platform.add_file("f", "a\r\nb");
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("f", FileMode::input, FileAccess::default_access, 1), 0);
  EXPECT_EQ(files.at_end(1), 0);
  EXPECT_EQ(files.read_bytes(3, 1), "a\r\n");
  EXPECT_EQ(files.at_end(1), 0);
  EXPECT_EQ(files.read_bytes(5, 1), "b");
  EXPECT_EQ(files.at_end(1), -1);
}

TEST(NumberedFiles, ReadsAcrossBufferBoundaries) {
  std::string data;
  for (int i = 0; i < 20000; ++i) {
    data += static_cast<char>('a' + i % 26);
  }
  rt::MemoryPlatform platform;
  platform.add_file("big", data);
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("big", FileMode::binary, FileAccess::read, 1), 0);
  std::string back;
  while (files.at_end(1) == 0) {
    back += files.read_bytes(1, 1);
  }
  EXPECT_EQ(back, data);
}

TEST(NumberedFiles, AFailedWriteOrCloseIsReportedAndKeepsTheOldFile) {
  // The disk takes this many bytes of the new content; the last case takes all.
  constexpr std::size_t kBytes = 3 * rt::NumberedFiles::kBufferSize + 100;
  const std::size_t room[] = {0, 1, 8191, 8192, 8193, 16384, kBytes - 1, kBytes};
  for (const std::size_t space : room) {
    for (const bool fail_close : {false, true}) {
      const std::string name = std::to_string(space) + (fail_close ? " close fails" : "");
      rt::MemoryPlatform platform;
      platform.add_file("out", "old");
      platform.files["out"].space = space;
      platform.files["out"].fail_close = fail_close;
      rt::NumberedFiles files(platform);
      ASSERT_EQ(files.open("out", FileMode::output, FileAccess::default_access, 2), 0) << name;
      for (std::size_t written = 0; written < kBytes; written += 100) {
        files.write(2, std::string(std::min<std::size_t>(100, kBytes - written), 'x'));
      }
      EXPECT_EQ(platform.file("out"), "old") << name << ": seen before the close";
      const bool whole = space == kBytes && !fail_close;
      EXPECT_EQ(files.close(2), whole ? 0 : 3) << name;
      EXPECT_EQ(files.write(2, "x"), 1) << name << ": still in use";
      EXPECT_TRUE(platform.file("out") == (whole ? std::string(kBytes, 'x') : "old")) << name;
    }
  }
}

TEST(NumberedFiles, WritingAfterReadingGoesOnAtTheReadPosition) {
  rt::MemoryPlatform platform;
  platform.add_file("f", "abcdef");
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("f", FileMode::binary, FileAccess::default_access, 1), 0);
  EXPECT_EQ(files.read_bytes(2, 1), "ab");
  EXPECT_EQ(files.write(1, "XY"), 0);
  EXPECT_EQ(files.read_bytes(2, 1), "ef");
  EXPECT_EQ(files.close(1), 0);
  EXPECT_EQ(platform.file("f"), "abXYef");
}

}  // namespace

namespace {

TEST(NumberedFiles, ReadUntilTakesABufferAtATimeAndStopsWhereTheEndIs) {
  std::string data = "ab\ncd";
  data += std::string(rt::NumberedFiles::kReadAhead, 'x');
  data += "\nlast";
  rt::MemoryPlatform platform;
  platform.add_file("f", data);
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("f", FileMode::binary, FileAccess::default_access, 1), 0);
  platform.files["f"].data += "grown\n";  // beyond the size recorded at open

  std::string line;
  EXPECT_TRUE(files.read_until(1, '\n', line));
  EXPECT_EQ(line, "ab");
  line.clear();
  EXPECT_FALSE(files.read_until(1, '\n', line));  // the rest of the first buffer
  EXPECT_EQ(line.size(), rt::NumberedFiles::kReadAhead - 3);
  EXPECT_TRUE(files.read_until(1, '\n', line));
  EXPECT_EQ(line, "cd" + std::string(rt::NumberedFiles::kReadAhead, 'x'));
  line.clear();
  EXPECT_FALSE(files.read_until(1, '\n', line));
  EXPECT_EQ(line, "last");
  EXPECT_EQ(files.at_end(1), -1);
  EXPECT_FALSE(files.read_until(1, '\n', line));
  EXPECT_EQ(line, "last");
  EXPECT_FALSE(files.read_until(9, '\n', line));
}

}  // namespace

namespace {

TEST(NumberedFiles, TakeLineHandsOutOnlyLinesWholeInTheBufferAndBeforeTheRecordedEnd) {
  // The second line runs over the buffer's end; the file grows after the open.
  const std::string data = "ab\n" + std::string(rt::NumberedFiles::kReadAhead, 'x') + "\nend\n";
  rt::MemoryPlatform platform;
  platform.add_file("f", data);
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("f", FileMode::binary, FileAccess::default_access, 1), 0);
  platform.files["f"].data += "grown\n";

  // The line taken, or nothing.
  const auto take = [&files](std::int32_t number) -> std::optional<std::string_view> {
    std::string_view line;
    return files.take_line(number, line) ? std::optional(line) : std::nullopt;
  };
  EXPECT_EQ(take(1), "ab");
  EXPECT_EQ(take(1), std::nullopt);  // nothing consumed: the reader gathers it
  std::string line;
  while (!files.read_until(1, '\n', line)) {
  }
  EXPECT_EQ(line.size(), rt::NumberedFiles::kReadAhead);
  EXPECT_EQ(take(1), "end");
  EXPECT_EQ(take(1), std::nullopt);  // "grown" lies past the recorded end
  EXPECT_EQ(files.at_end(1), -1);
  EXPECT_EQ(take(9), std::nullopt);
}

TEST(NumberedFiles, SkipLinesWithoutPassesWholeLinesUpToTheOneWithThePattern) {
  struct Case {
    const char* name;
    std::string data;
    std::string skipped;
    std::string rest;  // what read_bytes then gives
  };
  const Case cases[] = {
      {"up to the line holding the pattern", "a\nb\n  <note>\nc\n", "a\nb\n", "  <note>\nc\n"},
      {"the first line holds it", "<note>\nx\n", "", "<note>\nx\n"},
      {"no pattern: every whole line", "a\nb\nunfinished", "a\nb\n", "unfinished"},
      {"nothing whole", "unfinished", "", "unfinished"},
      {"a pattern cut by the end stays", "a\n<no", "a\n", "<no"},
      {"empty", "", "", ""},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    platform.add_file("f", c.data);
    rt::NumberedFiles files(platform);
    ASSERT_EQ(files.open("f", FileMode::binary, FileAccess::read, 1), 0);
    EXPECT_EQ(files.skip_lines_without(1, "<note>"), c.skipped) << c.name;
    EXPECT_EQ(files.read_bytes(100, 1), c.rest) << c.name;
  }
}

TEST(NumberedFiles, SkipLinesWithoutLooksNoFurtherThanOneBufferOrTheRecordedEnd) {
  std::string data;
  while (data.size() < 3 * rt::NumberedFiles::kReadAhead) {
    data += "<direction>\n";
  }
  rt::MemoryPlatform platform;
  platform.add_file("f", data);
  rt::NumberedFiles files(platform);
  ASSERT_EQ(files.open("f", FileMode::binary, FileAccess::default_access, 1), 0);
  platform.files["f"].data += "grown\n";
  std::int64_t lines = 0;
  for (std::int64_t step = 1; step > 0;) {
    step = std::ranges::count(files.skip_lines_without(1, "<note>"), '\n');
    EXPECT_LE(step, static_cast<std::int64_t>(rt::NumberedFiles::kReadAhead / 12 + 1));
    lines += step;
    if (step == 0 && files.at_end(1) == 0) {
      std::string line;
      while (!files.read_until(1, '\n', line)) {  // the line cut by the buffer's end
      }
      ++lines;
      step = 1;
    }
  }
  EXPECT_EQ(lines, static_cast<std::int64_t>(data.size() / 12));
  EXPECT_EQ(files.at_end(1), -1);
}

}  // namespace
