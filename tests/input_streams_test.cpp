// The input side of the built programs: closed standard streams, a score that
// is a FIFO being written, and a score whose reading fails part-way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fixtures.hpp"
#include "process_runner.hpp"
#include "score_builder.hpp"

namespace {

using testing_support::Score;
using testing_support::TempFolder;
using namespace std::chrono_literals;

struct Program {
  const char* path;
  const char* keys;
  std::vector<const char*> outputs;
};

const Program kPrograms[] = {
    {ARVONIC_PROGRAM, "\n\n", {"score.h", "score.bas"}},
    {NOTEPACK_PROGRAM, "", {"tarvel.h"}},
};

// A score both programs convert, of about 90 kB: more than one read's worth.
std::string long_score() {
  Score score("4");
  for (int i = 0; i < 120; ++i) {
    score.note(i % 2 == 0 ? "C" : "D", "4", "2");
    score.line("      <words>" + std::string(600, 'w') + "</words>");
  }
  return score.text();
}

// The outputs of a run on the same score as a plain file, with nothing odd.
std::vector<std::string> reference_outputs(const Program& program, const std::string& score) {
  TempFolder folder;
  folder.write("score.xml", score);
  const auto result = testing_support::run_process(program.path, folder.path(), program.keys);
  EXPECT_EQ(result.exit_code, 0);
  std::vector<std::string> outputs;
  for (const char* name : program.outputs) {
    outputs.push_back(folder.read(name));
  }
  return outputs;
}

void expect_outputs(const Program& program, const TempFolder& folder,
                    const std::vector<std::string>& expected, const std::string& name) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(folder.read(program.outputs[i]) == expected[i]) << name << ": " << program.outputs[i];
  }
}

int wait_exit(pid_t child) {
  int status = 0;
  for (int i = 0; i < 3000 && waitpid(child, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(10ms);
    if (i == 2999) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(StandardStreams, ClosedOnesLeaveTheScoreAsItIs) {
  const std::string score = long_score();
  const std::vector<std::vector<int>> closings = {{0}, {1}, {2}, {0, 1, 2}};
  for (const auto& program : kPrograms) {
    const auto expected = reference_outputs(program, score);
    for (const auto& closed : closings) {
      std::string name = std::string(program.path) + " with descriptors";
      for (const int fd : closed) {
        name += " " + std::to_string(fd);
      }
      name += " closed";
      TempFolder folder;
      folder.write("score.xml", score);
      const pid_t child = fork();
      if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; ++fd) {
          dup2(null, fd);
        }
        close(null);
        for (const int fd : closed) {
          close(fd);
        }
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        if (chdir(folder.path().c_str()) != 0) {
          _exit(127);
        }
        execl(program.path, program.path, static_cast<char*>(nullptr));
        _exit(127);
      }
      EXPECT_EQ(wait_exit(child), 0) << name;
      EXPECT_TRUE(folder.read("score.xml") == score) << name << ": the score changed";
      // With no keys the names are the defaults, and the outputs as always.
      expect_outputs(program, folder, expected, name);
    }
  }
}

TEST(ScoreStreams, AFifoBeingWrittenIsReadToItsEnd) {
  const std::string score = long_score();
  for (const auto& program : kPrograms) {
    const auto expected = reference_outputs(program, score);
    TempFolder folder;
    ASSERT_EQ(mkfifo((folder.path() / "score.xml").c_str(), 0600), 0);
    // As "cat score.xml > fifo &": waits for a reader, then writes with a pause.
    const pid_t writer = fork();
    if (writer == 0) {
      const int fd = open((folder.path() / "score.xml").c_str(), O_WRONLY);
      const std::size_t half = score.size() / 2;
      const bool written = fd != -1 && write(fd, score.data(), half) == static_cast<ssize_t>(half);
      std::this_thread::sleep_for(300ms);
      const bool rest = written && write(fd, score.data() + half, score.size() - half) ==
                                       static_cast<ssize_t>(score.size() - half);
      _exit(rest ? 0 : 1);
    }
    const auto result = testing_support::run_process(program.path, folder.path(), program.keys);
    EXPECT_EQ(wait_exit(writer), 0) << program.path;
    EXPECT_EQ(result.exit_code, 0) << program.path;
    EXPECT_TRUE(result.out.ends_with("ok\r\n")) << program.path << result.out;
    expect_outputs(program, folder, expected, program.path);
  }
}

// The writer opens the FIFO only once the reader has it open and has had time
// to look for data: a reader that took "no writer yet" for the end would find
// an empty score every time.
pid_t late_writer(const std::filesystem::path& fifo, const std::string& score) {
  const pid_t writer = fork();
  if (writer == 0) {
    int fd = -1;
    for (int tries = 0; fd == -1 && tries < 3000; ++tries) {
      fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // ENXIO until the reader has it open
      if (fd == -1) {
        std::this_thread::sleep_for(10ms);
      }
    }
    std::this_thread::sleep_for(400ms);
    const bool written = fd != -1 && fcntl(fd, F_SETFL, 0) == 0 &&
                         write(fd, score.data(), score.size()) == static_cast<ssize_t>(score.size());
    _exit(written ? 0 : 1);
  }
  return writer;
}

TEST(ScoreStreams, AFifoWhoseWriterComesLaterIsWaitedFor) {
  const std::string score = long_score();
  for (const auto& program : kPrograms) {
    const auto expected = reference_outputs(program, score);
    TempFolder folder;
    ASSERT_EQ(mkfifo((folder.path() / "score.xml").c_str(), 0600), 0);
    const pid_t writer = late_writer(folder.path() / "score.xml", score);
    const auto result = testing_support::run_process(program.path, folder.path(), program.keys);
    EXPECT_EQ(wait_exit(writer), 0) << program.path;
    EXPECT_EQ(result.exit_code, 0) << program.path << result.out;
    expect_outputs(program, folder, expected, program.path);
  }
  // The direct mode reads it as it reads a file.
  std::string notes;
  for (int i = 0; i < 200; ++i) {
    notes += "<note><pitch><step>" + std::string(i % 2 == 0 ? "C" : "D") +
             "</step><octave>4</octave></pitch><duration>1</duration><lyric><text>" + std::string(300, 'w') +
             "</text></lyric></note>\n";
  }
  const std::string direct_score =
      "<score-partwise><part-list><score-part id=\"P1\"/></part-list><part id=\"P1\"><measure number=\"1\">"
      "<attributes><divisions>1</divisions></attributes>" +
      notes + "</measure></part></score-partwise>\n";
  TempFolder folder;
  folder.write("plain.xml", direct_score);
  ASSERT_EQ(testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "", testing_support::InputKind::file,
                                         30000, {"-q", "plain.xml"})
                .exit_code,
            0);
  ASSERT_EQ(mkfifo((folder.path() / "piped.xml").c_str(), 0600), 0);
  const pid_t writer = late_writer(folder.path() / "piped.xml", direct_score);
  const auto result = testing_support::run_process(
      ARVONIC_PROGRAM, folder.path(), "", testing_support::InputKind::file, 30000, {"-q", "piped.xml"});
  EXPECT_EQ(wait_exit(writer), 0);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(folder.read("piped.h"), folder.read("plain.h"));
}

TEST(ScoreStreams, AReadErrorEndsWithError3AndLeavesTheOutputs) {
  if (std::system("command -v strace > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "strace is missing (apt-get install strace): it makes a read of the score fail";
  }
  const std::string score = long_score();
  for (const auto& program : kPrograms) {
    // The first read of the score fails, or the second one, after a buffer's worth.
    for (const char* when : {"1", "2"}) {
      const std::string name = std::string(program.path) + " read " + when;
      TempFolder folder;
      folder.write("score.xml", score);
      for (const char* output : program.outputs) {
        folder.write(output, "old");
      }
      const auto result = testing_support::run_process(
          "/usr/bin/env", folder.path(), program.keys, testing_support::InputKind::file, 30000,
          {"ASAN_OPTIONS=" + testing_support::sanitizer_options_without_leak_check(), "strace", "-qq", "-o",
           "/dev/null", "-P", (folder.path() / "score.xml").string(), "-e", "trace=read", "-e",
           std::string("inject=read:error=EIO:when=") + when, program.path});
      EXPECT_EQ(result.exit_code, 3) << name << result.out << result.err;
      EXPECT_EQ(result.err, testing_support::kReadErrorReport) << name;
      EXPECT_FALSE(result.out.ends_with("ok\r\n")) << name;
      for (const char* output : program.outputs) {
        EXPECT_EQ(folder.read(output), "old") << name << ": " << output;
      }
    }
  }
}

}  // namespace
