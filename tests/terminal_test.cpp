// The built programs on a pseudo-terminal: raw mode is taken at the first key
// and the terminal's own mode comes back on every way the process ends.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "process_runner.hpp"
#include "score_builder.hpp"

namespace {

using testing_support::Score;
using testing_support::TempFolder;
using namespace std::chrono_literals;

bool same_mode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

class TerminalRun {
 public:
  TerminalRun(const std::string& program, const std::filesystem::path& folder) {
    winsize size{};
    size.ws_row = 30;
    size.ws_col = 100;
    if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) {
      throw std::runtime_error("openpty failed");
    }
    tcgetattr(slave_, &original_);
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      dup2(slave_, STDIN_FILENO);
      dup2(slave_, STDOUT_FILENO);
      dup2(slave_, STDERR_FILENO);
      close(master_);
      if (chdir(folder.c_str()) != 0) {
        _exit(127);
      }
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;
  ~TerminalRun() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(master_);
    close(slave_);
  }

  // Reads the screen until it holds text; false after the time is up.
  bool wait_for(const std::string& text, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (screen_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      drain(20);
    }
    return true;
  }
  bool wait_for_raw_mode() {
    for (int i = 0; i < 500; ++i) {
      if ((mode().c_lflag & ICANON) == 0) {
        return true;
      }
      drain(10);
    }
    return false;
  }
  void type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
  // The exit status, reading the screen meanwhile so that the program never blocks.
  int wait_end() {
    int status = 0;
    for (int i = 0; i < 3000; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        drain(0);
        return status;
      }
      drain(10);
    }
    return -1;
  }
  termios mode() const {
    termios current{};
    tcgetattr(slave_, &current);
    return current;
  }
  const termios& original() const { return original_; }
  pid_t pid() const { return pid_; }
  const std::string& screen() const { return screen_; }

 private:
  void drain(int wait_ms) {
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, wait_ms) > 0 && (fd.revents & POLLIN) != 0) {
      char buffer[4096];
      const ssize_t got = read(master_, buffer, sizeof buffer);
      if (got > 0) {
        screen_.append(buffer, static_cast<std::size_t>(got));
      }
    }
  }

  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  bool ended_ = false;
  termios original_{};
  std::string screen_;
};

std::string sixteenths(int notes) {
  Score score("4");
  for (int i = 0; i < notes; ++i) {
    score.note("C", "4", "1");
  }
  return score.text();
}

TEST(Terminal, ArvonicTakesRawModeAndGivesItBackAfterANormalEnd) {
  TempFolder folder;
  folder.write("score.xml", Score("2").note("C", "4", "2").text());
  TerminalRun run(ARVONIC_PROGRAM, folder.path());
  ASSERT_TRUE(run.wait_for(" input file [score]:"));
  ASSERT_TRUE(run.wait_for_raw_mode());
  const termios raw = run.mode();
  EXPECT_EQ(raw.c_lflag & ECHO, 0U);
  EXPECT_NE(raw.c_lflag & ISIG, 0U);  // Ctrl+C keeps its effect
  run.type("scorx\x7f" "e\r");       // the erase byte is Backspace
  ASSERT_TRUE(run.wait_for("output file [score]:"));
  run.type("\r");
  ASSERT_TRUE(run.wait_for("ok\r"));
  run.type(" ");
  const int status = run.wait_end();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(same_mode(run.mode(), run.original()));
  EXPECT_EQ(folder.read("score.bas"), "PLAY \"L8o3C4\"\r\n");
}

TEST(Terminal, TheModeComesBackAfterARunTimeError) {
  TempFolder folder;
  folder.write("score.xml", sixteenths(59 + 101 * 64));
  TerminalRun run(ARVONIC_PROGRAM, folder.path());
  ASSERT_TRUE(run.wait_for(" input file [score]:"));
  ASSERT_TRUE(run.wait_for_raw_mode());
  run.type("\r\r");
  const int status = run.wait_end();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 6);
  EXPECT_NE(run.screen().find("at line 106 of arvonic()"), std::string::npos);
  EXPECT_TRUE(same_mode(run.mode(), run.original()));
}

struct SignalCase {
  const char* name;
  const char* program;
  const char* typed;  // typed to raise the signal, or empty to send it
  int signal;
};

TEST(Terminal, TheModeComesBackWhenASignalEndsTheProgram) {
  const SignalCase cases[] = {
      {"Ctrl+C at the prompt", ARVONIC_PROGRAM, "\x03", SIGINT},
      {"Ctrl+\\ at the prompt", ARVONIC_PROGRAM, "\x1c", SIGQUIT},
      {"SIGTERM at the prompt", ARVONIC_PROGRAM, "", SIGTERM},
      {"hang-up at the prompt", ARVONIC_PROGRAM, "", SIGHUP},
      {"Ctrl+C in the final wait", NOTEPACK_PROGRAM, "\x03", SIGINT},
      {"SIGTERM in the final wait", NOTEPACK_PROGRAM, "", SIGTERM},
      {"hang-up in the final wait", NOTEPACK_PROGRAM, "", SIGHUP},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    folder.write("score.xml", Score("2").note("C", "4", "2").text());
    TerminalRun run(c.program, folder.path());
    const bool arvonic = std::string(c.program) == ARVONIC_PROGRAM;
    ASSERT_TRUE(run.wait_for(arvonic ? " input file [score]:" : "ok\r")) << c.name;
    ASSERT_TRUE(run.wait_for_raw_mode()) << c.name;
    if (*c.typed != '\0') {
      run.type(c.typed);
    } else {
      kill(run.pid(), c.signal);
    }
    const int status = run.wait_end();
    ASSERT_TRUE(WIFSIGNALED(status)) << c.name << " status " << status;
    EXPECT_EQ(WTERMSIG(status), c.signal) << c.name;
    EXPECT_TRUE(same_mode(run.mode(), run.original())) << c.name;
  }
}

TEST(Terminal, NotepackShowsItsWindowInTheTerminal) {
  TempFolder folder;
  folder.write("score.xml", "<note>\n<pitch>\n<step>C</step>\n<octave>4</octave>\n</pitch>\n<duration>2</duration>\n"
                            "<voice>\n</note>\n");
  TerminalRun run(NOTEPACK_PROGRAM, folder.path());
  ASSERT_TRUE(run.wait_for("ok\r"));
  run.type("\x1b[A");  // an arrow ends the wait like any key
  const int status = run.wait_end();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(same_mode(run.mode(), run.original()));
}

}  // namespace
