// The built programs on a pseudo-terminal: raw mode is taken at the first key
// and the terminal's own mode comes back on every way the process ends.
#include <fcntl.h>
#include <gtest/gtest.h>
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
#include <vector>

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
  TerminalRun(const std::string& program, const std::filesystem::path& folder,
              const std::vector<std::string>& arguments = {}) {
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
      unsetenv("DISPLAY");  // the window in the terminal, not on a desktop
      unsetenv("WAYLAND_DISPLAY");
      if (chdir(folder.c_str()) != 0) {
        _exit(127);
      }
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
      }
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
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
  void type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
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
  run.type(
      "scorx\x7f"
      "e\r");  // the erase byte is Backspace
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

enum class Point { prompt, scan, final_wait };

struct SignalCase {
  const char* program;
  Point point;
  const char* typed;  // typed to raise the signal, or empty to send it
  int signal;
};

// A score whose scan takes a while: a few notes among a great many other lines.
std::string long_score() {
  Score score("2");
  score.note("C", "4", "2");
  const std::string lyric = "        <lyric number=\"1\"><text>la</text></lyric>";
  for (int i = 0; i < 1'500'000; ++i) {
    score.line(lyric);
  }
  return score.note("D", "4", "2").text();
}

TEST(Terminal, TheModeComesBackWhenASignalEndsTheProgram) {
  std::vector<SignalCase> cases;
  for (const char* program : {ARVONIC_PROGRAM, NOTEPACK_PROGRAM}) {
    for (const Point point : {Point::prompt, Point::scan, Point::final_wait}) {
      if (point == Point::prompt && std::string(program) == NOTEPACK_PROGRAM) {
        continue;  // it asks nothing
      }
      cases.push_back({program, point, "\x03", SIGINT});
      cases.push_back({program, point, "\x1c", SIGQUIT});
      cases.push_back({program, point, "", SIGTERM});
      cases.push_back({program, point, "", SIGHUP});
    }
  }
  TempFolder long_folder;
  long_folder.write("score.xml", long_score());
  for (const auto& c : cases) {
    const bool arvonic = std::string(c.program) == ARVONIC_PROGRAM;
    const std::string name = std::string(arvonic ? "arvonic" : "notepack") + " point " +
                             std::to_string(static_cast<int>(c.point)) + " signal " +
                             std::to_string(c.signal);
    TempFolder short_folder;
    short_folder.write("score.xml", Score("2").note("C", "4", "2").text());
    const TempFolder& folder = c.point == Point::scan ? long_folder : short_folder;
    TerminalRun run(c.program, folder.path());
    if (arvonic) {
      ASSERT_TRUE(run.wait_for(" input file [score]:")) << name;
    }
    ASSERT_TRUE(run.wait_for_raw_mode()) << name;
    if (arvonic && c.point != Point::prompt) {
      run.type("\r\r");
      ASSERT_TRUE(run.wait_for(c.point == Point::scan ? "processing..." : "ok\r")) << name;
    } else if (!arvonic && c.point == Point::final_wait) {
      ASSERT_TRUE(run.wait_for("ok\r")) << name;
    }
    if (*c.typed != '\0') {
      run.type(c.typed);
    } else {
      kill(run.pid(), c.signal);
    }
    const int status = run.wait_end();
    ASSERT_TRUE(WIFSIGNALED(status)) << name << " status " << status << run.screen();
    EXPECT_EQ(WTERMSIG(status), c.signal) << name;
    EXPECT_TRUE(same_mode(run.mode(), run.original())) << name;
    // Outputs are opened only after the scan: a signal during it leaves none;
    // in the final wait they are already complete.
    const bool written = c.point == Point::final_wait;
    if (arvonic) {
      EXPECT_EQ(folder.read("score.h") != "<missing>", written) << name;
      EXPECT_EQ(folder.read("score.bas") != "<missing>", written) << name;
      if (written) {
        EXPECT_EQ(folder.read("score.bas"), "PLAY \"L8o3C4\"\r\n") << name;
      }
    } else {
      EXPECT_EQ(folder.read("tarvel.h") != "<missing>", written) << name;
      if (written) {
        EXPECT_EQ(folder.read("tarvel.h"), "const PROGMEM unsigned char notes[]=\\\r\n\"o2C4\";\r\n") << name;
      }
    }
  }
}

TEST(Terminal, NotepackShowsItsWindowInTheTerminal) {
  TempFolder folder;
  folder.write("score.xml",
               "<note>\n<pitch>\n<step>C</step>\n<octave>4</octave>\n</pitch>\n<duration>2</duration>\n"
               "<voice>\n</note>\n");
  TerminalRun run(NOTEPACK_PROGRAM, folder.path());
  ASSERT_TRUE(run.wait_for("ok\r"));
  run.type("\x1b[A");  // an arrow ends the wait like any key
  const int status = run.wait_end();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(same_mode(run.mode(), run.original()));
}

TEST(Terminal, ArvplayShowsAStatusLineAndCtrlCStopsItAtOnce) {
  // SDL's disk driver plays in real time into a file, like a sound card.
  TempFolder folder;
  TerminalRun run(
      "/usr/bin/env", folder.path(),
      {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=card.raw", ARVPLAY_PROGRAM, "-e", "T60 L1 o3 C D E F"});
  ASSERT_TRUE(run.wait_for("\x1b[?25l"));  // the cursor hidden under the status line
  ASSERT_TRUE(run.wait_for("o3C    [")) << run.screen();
  ASSERT_TRUE(run.wait_for("] 0:00 / 0:16  -e")) << run.screen();
  const auto typed = std::chrono::steady_clock::now();
  run.type("\x03");
  const int status = run.wait_end();
  const auto took = std::chrono::steady_clock::now() - typed;
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  EXPECT_LT(took, 300ms);
  EXPECT_TRUE(run.screen().ends_with("\r\x1b[K\x1b[?25h")) << run.screen();  // line gone, cursor back
  EXPECT_TRUE(same_mode(run.mode(), run.original()));
}

}  // namespace
