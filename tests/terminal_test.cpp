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
#include <fstream>
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

// How a run is started beyond the program and its folder.
struct RunOptions {
  // Under a stand-in for a job-control shell, so that Ctrl+Z stops the
  // program: a process group of its own in the terminal's foreground whose
  // parent is in the same session (a session leader's group is orphaned,
  // and the kernel stops no orphan).
  bool job_control = false;
  const char* locale = "C";            // LANG, LC_ALL and LC_CTYPE for the program
  std::vector<std::string> arguments;  // after the program's name
};

class TerminalRun {
 public:
  TerminalRun(const std::string& program, const std::filesystem::path& folder,
              const RunOptions& options = {}) {
    winsize size{};
    size.ws_row = 30;
    size.ws_col = 100;
    if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) {
      throw std::runtime_error("openpty failed");
    }
    tcgetattr(slave_, &original_);
    int told[2] = {-1, -1};
    if (pipe(told) != 0) {
      throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      dup2(slave_, STDIN_FILENO);
      dup2(slave_, STDOUT_FILENO);
      dup2(slave_, STDERR_FILENO);
      close(master_);
      close(told[0]);
      unsetenv("DISPLAY");  // the window in the terminal, not on a desktop
      unsetenv("WAYLAND_DISPLAY");
      setenv("LANG", options.locale, 1);
      setenv("LC_ALL", options.locale, 1);
      setenv("LC_CTYPE", options.locale, 1);
      if (chdir(folder.c_str()) != 0) {
        _exit(127);
      }
      if (options.job_control) {
        run_as_job(program, told[1]);
      }
      const pid_t self = getpid();
      (void)!write(told[1], &self, sizeof self);
      close(told[1]);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& argument : options.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
      }
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(told[1]);
    if (read(told[0], &program_, sizeof program_) != static_cast<ssize_t>(sizeof program_)) {
      program_ = pid_;
    }
    close(told[0]);
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;
  ~TerminalRun() {
    if (pid_ > 0 && !ended_) {
      kill(program_, SIGKILL);
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
  // The program's process (under job control not the same as the one waited for).
  pid_t pid() const { return program_; }
  const std::string& screen() const { return screen_; }
  // True once the program has stopped (Ctrl+Z); false after the time is up.
  bool wait_stopped() {
    for (int i = 0; i < 500; ++i) {
      std::ifstream stat("/proc/" + std::to_string(program_) + "/stat");
      std::string line;
      std::getline(stat, line);
      const auto state = line.rfind(") ");
      if (state != std::string::npos && line.size() > state + 2 && line[state + 2] == 'T') {
        return true;
      }
      drain(10);
    }
    return false;
  }
  // How often text is on the screen.
  int count(const std::string& text) const {
    int found = 0;
    for (auto at = screen_.find(text); at != std::string::npos; at = screen_.find(text, at + 1)) {
      ++found;
    }
    return found;
  }
  // Reads the screen until text is on it times times; false after the time is up.
  bool wait_count(const std::string& text, int times) {
    for (int i = 0; i < 1000 && count(text) < times; ++i) {
      drain(10);
    }
    return count(text) >= times;
  }

 private:
  // The stand-in shell: starts the program as a job in the foreground, tells
  // the test its process, and ends as the job ends.
  [[noreturn]] static void run_as_job(const std::string& program, int told) {
    signal(SIGTTOU, SIG_IGN);  // giving the terminal away from the background
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      signal(SIGTTOU, SIG_DFL);
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    setpgid(job, job);
    tcsetpgrp(STDIN_FILENO, job);
    (void)!write(told, &job, sizeof job);
    close(told);
    int status = 0;
    while (waitpid(job, &status, 0) == job && WIFSTOPPED(status)) {
    }
    if (WIFSIGNALED(status)) {
      signal(WTERMSIG(status), SIG_DFL);
      kill(getpid(), WTERMSIG(status));
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
  }

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
  pid_t program_ = -1;
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

TEST(Terminal, ArvplayShowsAStatusLineAndCtrlCOrCtrlBackslashStopsItAtOnce) {
  // Either key ends the sound at once and gives the cursor back.
  const struct {
    const char* key;
    int signal;
  } cases[] = {{"\x03", SIGINT}, {"\x1c", SIGQUIT}};
  for (const auto& c : cases) {
    // SDL's disk driver plays in real time into a file, like a sound card.
    TempFolder folder;
    RunOptions options;
    options.arguments = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=card.raw", ARVPLAY_PROGRAM, "-e",
                         "T60 L1 o3 C D E F"};
    TerminalRun run("/usr/bin/env", folder.path(), options);
    ASSERT_TRUE(run.wait_for("\x1b[?25l"));  // the cursor hidden under the status line
    ASSERT_TRUE(run.wait_for("o3C    [")) << run.screen();
    ASSERT_TRUE(run.wait_for("] 0:00 / 0:16  -e")) << run.screen();
    const auto typed = std::chrono::steady_clock::now();
    run.type(c.key);
    const int status = run.wait_end();
    const auto took = std::chrono::steady_clock::now() - typed;
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), c.signal);
    EXPECT_LT(took, 300ms) << c.signal;
    // The line gone and the cursor back.
    EXPECT_TRUE(run.screen().ends_with("\r\x1b[K\x1b[?25h")) << c.signal << run.screen();
    EXPECT_TRUE(same_mode(run.mode(), run.original())) << c.signal;
  }
}

// Ctrl+Z, then the continue that a shell's fg sends: the terminal is the
// shell's while the program is stopped, and raw again after.
void stop_and_continue(TerminalRun& run) {
  run.type("\x1a");
  ASSERT_TRUE(run.wait_stopped());
  EXPECT_TRUE(same_mode(run.mode(), run.original())) << "the terminal is the shell's while stopped";
  kill(run.pid(), SIGCONT);
  ASSERT_TRUE(run.wait_for_raw_mode());
}

TEST(Terminal, CtrlZGivesTheTerminalBackAndTheContinueTakesItAndRedrawsTheReply) {
  TempFolder folder;
  folder.write("tune.xml", Score("2").note("C", "4", "2").text());
  RunOptions options;
  options.job_control = true;
  TerminalRun run(ARVONIC_PROGRAM, folder.path(), options);
  ASSERT_TRUE(run.wait_for(" input file [score]:"));
  ASSERT_TRUE(run.wait_for_raw_mode());
  run.type("tu");
  ASSERT_TRUE(run.wait_for(" input file [score]:tu\x1b[K"));
  stop_and_continue(run);
  // The prompt and the reply so far, drawn again on a row of their own.
  EXPECT_TRUE(run.wait_count("\r input file [score]:tu\x1b[K", 2)) << run.screen();
  run.type("ne\r\r");  // keys without Enter again: the reply goes on
  ASSERT_TRUE(run.wait_for("ok\r")) << run.screen();
  EXPECT_EQ(folder.read("score.bas"), "PLAY \"L8o3C4\"\r\n");
  run.type(" ");
  EXPECT_EQ(WEXITSTATUS(run.wait_end()), 0);

  // notepack in its final wait: after the continue Esc arrives at once, with no Enter.
  TempFolder scored;
  scored.write("score.xml", Score("2").note("C", "4", "2").text());
  TerminalRun packed(NOTEPACK_PROGRAM, scored.path(), options);
  ASSERT_TRUE(packed.wait_for("ok\r"));
  ASSERT_TRUE(packed.wait_for_raw_mode());
  stop_and_continue(packed);
  packed.type("\x1b");
  const int status = packed.wait_end();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(same_mode(packed.mode(), packed.original()));
}

TEST(Terminal, ScoreBytesAreShownInCaretNotation) {
  const std::string hostile = "\x1b]2;pwned\x07\x1b[2J";
  TempFolder folder;
  // arvonic echoes the line of an error; notepack the step of a note.
  folder.write("score.xml", Score::bare().line("<divisions>9" + hostile + "</divisions>").text());
  TerminalRun run(ARVONIC_PROGRAM, folder.path());
  ASSERT_TRUE(run.wait_for(" input file [score]:"));
  run.type("\r\r");
  ASSERT_TRUE(run.wait_for("2 or 4 expected"));
  EXPECT_NE(run.screen().find("<divisions>9^[]2;pwned^G^[[2J</divisions>\r"), std::string::npos);
  EXPECT_EQ(run.screen().find(hostile), std::string::npos);
  run.type(" ");
  run.wait_end();

  TempFolder notes;
  notes.write("score.xml", "<note>\n<pitch>\n>\x1b\n>4\n\n>2\n\n");
  TerminalRun packed(NOTEPACK_PROGRAM, notes.path());
  ASSERT_TRUE(packed.wait_for("ok\r"));
  EXPECT_NE(packed.screen().find("note^[42\r"), std::string::npos) << packed.screen();
  packed.type(" ");
  packed.wait_end();
}

TEST(Terminal, AltAndALetterDuringTheScanIsNoEsc) {
  TempFolder folder;
  folder.write("score.xml", long_score());
  TerminalRun run(ARVONIC_PROGRAM, folder.path());
  ASSERT_TRUE(run.wait_for(" input file [score]:"));
  ASSERT_TRUE(run.wait_for_raw_mode());
  run.type("\r\r");
  ASSERT_TRUE(run.wait_for("processing..."));
  run.type(
      "\x1b"
      "a");  // Alt+A, as a terminal sends it
  ASSERT_TRUE(run.wait_for("ok\r", 60s)) << run.screen();
  run.type(" ");
  EXPECT_EQ(WEXITSTATUS(run.wait_end()), 0);
  EXPECT_EQ(folder.read("score.bas"), "PLAY \"L8o3C4D4\"\r\n");
}

TEST(Terminal, TheReplyEditorScrollsOnOneRowAndErasesWholeUtf8Characters) {
  TempFolder folder;
  folder.write("tune.xml", Score("2").note("C", "4", "2").text());
  RunOptions options;
  options.locale = "C.UTF-8";
  TerminalRun run(ARVONIC_PROGRAM, folder.path(), options);
  ASSERT_TRUE(run.wait_for(" input file [score]:"));
  ASSERT_TRUE(run.wait_for_raw_mode());
  // 150 characters on a row of 100 that has 20 taken by the prompt.
  run.type(std::string(150, 'n'));
  const std::string last_row = "\r input file [score]:" + std::string(78, 'n') + "\x1b[K";
  ASSERT_TRUE(run.wait_for(last_row + "\r\x1b[98C")) << run.screen();
  EXPECT_EQ(run.screen().find('\n', run.screen().find(" input file")), std::string::npos)
      << "the reply went onto another row";
  // Esc alone empties the reply; then a name with a two-byte character, and two Backspaces.
  run.type("\x1b");
  ASSERT_TRUE(run.wait_for("\r input file [score]:\x1b[K\r\x1b[20C")) << run.screen();
  run.type(
      "t\xc3\xbcn\x7f\x7f"
      "une\r");
  ASSERT_TRUE(run.wait_for("output file [score]:")) << run.screen();
  run.type("\r");
  ASSERT_TRUE(run.wait_for("ok\r")) << run.screen();
  run.type(" ");
  EXPECT_EQ(WEXITSTATUS(run.wait_end()), 0);
  EXPECT_EQ(folder.read("score.bas"), "PLAY \"L8o3C4\"\r\n");
}

}  // namespace
