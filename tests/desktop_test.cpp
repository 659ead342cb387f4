// notepack in a real window on a virtual X display: its size and title, what
// it shows pixel by pixel, a key that ends the final wait, the close button;
// signals and a lost display end it as without a window; without a real
// display driver or the window library it shows the window in the terminal,
// and with its output sent to a file, as a stream.
// GoogleTest before Xlib, whose None macro would clash with it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fixtures.hpp"
#include "process_runner.hpp"
#include "runtime/console/desktop/grid_renderer.hpp"
#include "runtime/platform/text_grid.hpp"

namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

const std::string kShown = testing_support::kNotepackExampleWindow + "ok\r\n";
const std::string kHeader = testing_support::kDeclaration + "\"o2C4F+8p2o3A1\";\r\n";

// A virtual X display for the length of a test.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    // The server picks a free display number itself and tells it through a
    // pipe: tests that run side by side never share one, as they did when each
    // guessed a number from the lock files.
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
      return;
    }
    server_ = fork();
    if (server_ == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      const int told = dup(channel[1]);  // without close-on-exec
      const std::string fd = std::to_string(told);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(channel[1]);
    std::string number;
    pollfd ready{channel[0], POLLIN, 0};
    char byte = 0;
    while (poll(&ready, 1, 10000) == 1 && read(channel[0], &byte, 1) == 1 && byte != '\n') {
      number += byte;
    }
    close(channel[0]);
    if (number.empty()) {
      return;
    }
    const std::string display = ":" + number;
    x_ = XOpenDisplay(display.c_str());
    if (x_ != nullptr) {
      name_ = display;
      // A window of an earlier run may close between being listed and being
      // asked its name; that error only means it is not the one looked for.
      XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  ~VirtualDisplay() {
    if (x_ != nullptr) {
      XCloseDisplay(x_);
    }
    if (server_ > 0) {
      kill(server_, SIGTERM);
      waitpid(server_, nullptr, 0);
    }
  }
  const std::string& name() const { return name_; }
  Display* x() const { return x_; }

  // The server goes away, as when the desktop session ends.
  void stop_server() {
    XCloseDisplay(x_);  // first, or Xlib would end this test on the broken connection
    x_ = nullptr;
    kill(server_, SIGTERM);
    waitpid(server_, nullptr, 0);
    server_ = -1;
  }

  // The top-level window titled title, or 0 after the time is up.
  Window find(const std::string& title) const {
    for (int i = 0; i < 200; ++i) {
      Window root = 0;
      Window parent = 0;
      Window* children = nullptr;
      unsigned count = 0;
      XQueryTree(x_, DefaultRootWindow(x_), &root, &parent, &children, &count);
      Window found = 0;
      for (unsigned c = 0; c < count && found == 0; ++c) {
        char* name = nullptr;
        if (XFetchName(x_, children[c], &name) != 0 && name != nullptr) {
          found = title == name ? children[c] : 0;
          XFree(name);
        }
      }
      if (children != nullptr) {
        XFree(children);
      }
      if (found != 0) {
        return found;
      }
      std::this_thread::sleep_for(25ms);
    }
    return 0;
  }

 private:
  std::string name_;
  pid_t server_ = -1;
  Display* x_ = nullptr;
};

// A pseudo-terminal in raw mode, so that what the program writes arrives as
// written: the window opens only for a program whose output is a terminal.
class Terminal {
 public:
  Terminal() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) == 0) {
      termios raw{};
      tcgetattr(slave_, &raw);
      cfmakeraw(&raw);
      tcsetattr(slave_, TCSANOW, &raw);
      fcntl(master_, F_SETFL, O_NONBLOCK);
    }
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  ~Terminal() {
    close(master_);
    close(slave_);
  }
  int slave() const { return slave_; }
  void type(const std::string& keys) const {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // What the program wrote so far.
  std::string shown() const {
    std::string text;
    char buffer[4096];
    for (ssize_t got = 0; (got = read(master_, buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

struct Start {
  int input = -1;   // standard input; -1 for /dev/null
  int output = -1;  // standard output; -1 for window.txt in the folder
  std::vector<std::pair<std::string, std::string>> environment;  // set in addition
  std::string name = "notepack";  // the program's name, and so the window's title
};

// Standard input and output on the terminal, as a user starts it.
Start on(const Terminal& terminal) {
  Start how;
  how.input = terminal.slave();
  how.output = terminal.slave();
  return how;
}

pid_t start_notepack(const TempFolder& folder, const std::string& display, const Start& how) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    const std::string transcript = (folder.path() / "window.txt").string();
    const int out = how.output != -1 ? how.output : open(transcript.c_str(), O_WRONLY | O_CREAT, 0600);
    dup2(how.input != -1 ? how.input : null, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    if (chdir(folder.path().c_str()) != 0) {
      _exit(127);
    }
    // As a shell starts a program in the foreground, whatever this test inherited.
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    setenv("DISPLAY", display.c_str(), 1);
    for (const auto& [name, value] : how.environment) {
      setenv(name.c_str(), value.c_str(), 1);
    }
    setenv("ASAN_OPTIONS", testing_support::sanitizer_options_without_leak_check().c_str(), 1);
    execl(NOTEPACK_PROGRAM, how.name.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

// The exit code, or 128 + the signal that ended the program; -1 when it is
// still running after the time given (it is then killed).
int wait_exit(pid_t child, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(5ms);
  } while (std::chrono::steady_clock::now() < deadline);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return -1;
}

bool wait_written(const TempFolder& folder) {
  for (int i = 0; i < 500; ++i) {
    if (folder.read("tarvel.h").ends_with(";\r\n")) {
      return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// Writes the window as a PPM picture when ARVONIC_SCREENSHOT names a file.
void keep_screenshot(XImage* image) {
  const char* path = std::getenv("ARVONIC_SCREENSHOT");
  if (path == nullptr) {
    return;
  }
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << image->width << " " << image->height << "\n255\n";
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      out << static_cast<char>((pixel >> 16) & 0xFF) << static_cast<char>((pixel >> 8) & 0xFF)
          << static_cast<char>(pixel & 0xFF);
    }
  }
}

class DesktopWindow : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v Xvfb xdotool > /dev/null 2>&1") != 0) {
      GTEST_SKIP() << "Xvfb or xdotool is missing: apt-get install xvfb xdotool";
    }
    display_ = std::make_unique<VirtualDisplay>();
    ASSERT_FALSE(display_->name().empty()) << "no virtual display could be started";
    folder_.write("score.xml", testing_support::kNotepackExample);
  }

  std::unique_ptr<VirtualDisplay> display_;
  TempFolder folder_;
  Terminal terminal_;
};

TEST_F(DesktopWindow, ShowsTheProgressLinesAndEndsOnAKey) {
  const pid_t notepack = start_notepack(folder_, display_->name(), on(terminal_));
  ASSERT_TRUE(wait_written(folder_));
  const Window window = display_->find("notepack");
  ASSERT_NE(window, 0U);

  XWindowAttributes attributes{};
  XGetWindowAttributes(display_->x(), window, &attributes);
  EXPECT_EQ(attributes.width, 640);
  EXPECT_EQ(attributes.height, 480);

  // The program redraws before it waits: give the server a moment to have it.
  std::this_thread::sleep_for(200ms);
  XImage* image = XGetImage(display_->x(), window, 0, 0, 640, 480, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  keep_screenshot(image);
  rt::TextGrid expected;
  expected.print(kShown);
  std::vector<std::uint32_t> pixels(std::size_t{640} * 480);
  std::string why;
  const auto glyphs = rt::read_glyphs(UNIFONT_HEX, why);
  EXPECT_TRUE(glyphs.has_value()) << why;
  rt::render_grid(expected, glyphs.value_or(rt::GlyphTable{}), pixels.data(), 640);
  int wrong = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * 640 + static_cast<std::size_t>(x);
      wrong += (XGetPixel(image, x, y) & 0xFFFFFF) != (pixels[at] & 0xFFFFFF);
    }
  }
  XDestroyImage(image);
  EXPECT_EQ(wrong, 0) << "pixels that differ from the seven lines";

  const std::string key = "DISPLAY=" + display_->name() + " xdotool windowfocus --sync " +
                          std::to_string(window) + " key x > /dev/null 2>&1";
  EXPECT_EQ(std::system(key.c_str()), 0);
  EXPECT_EQ(wait_exit(notepack), 0);
}

TEST_F(DesktopWindow, TheCloseButtonEndsTheFinalWait) {
  const pid_t notepack = start_notepack(folder_, display_->name(), on(terminal_));
  ASSERT_TRUE(wait_written(folder_));
  const Window window = display_->find("notepack");
  ASSERT_NE(window, 0U);
  std::this_thread::sleep_for(100ms);

  // What a window manager's close button sends: a WM_DELETE_WINDOW request.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display_->x(), "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display_->x(), "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_->x(), window, False, NoEventMask, &close);
  XFlush(display_->x());
  EXPECT_EQ(wait_exit(notepack), 0);
  EXPECT_EQ(folder_.read("tarvel.h"), kHeader);
}

// Signals end notepack as they do without a window: at once, with the signal
// as its exit status, and the terminal it was started from as it was.
TEST_F(DesktopWindow, SignalsEndItAsWithoutAWindow) {
  struct Case {
    int signal_number;
    bool at_scan;      // else at the final wait
    bool on_terminal;  // standard input too; else only standard output
  };
  int run = 0;
  for (const Case c : {Case{SIGINT, true, true}, Case{SIGTERM, true, false}, Case{SIGINT, false, false},
                       Case{SIGTERM, false, true}}) {
    // Each run a window title of its own, so that no window of an earlier run is taken for it.
    const std::string title = "notepack-run-" + std::to_string(++run);
    SCOPED_TRACE(title);
    const TempFolder folder;
    int score = -1;
    if (c.at_scan) {
      // A score still being written: the scan waits for the rest of it.
      const std::string fifo = (folder.path() / "score.xml").string();
      ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
      score = open(fifo.c_str(), O_RDWR);
      const std::string half = testing_support::kNotepackExample.substr(0, 200);
      ASSERT_EQ(write(score, half.data(), half.size()), static_cast<ssize_t>(half.size()));
    } else {
      folder.write("score.xml", testing_support::kNotepackExample);
    }
    const Terminal terminal;
    termios before{};
    tcgetattr(terminal.slave(), &before);
    Start how = on(terminal);
    how.input = c.on_terminal ? terminal.slave() : -1;
    how.name = title;
    const pid_t notepack = start_notepack(folder, display_->name(), how);
    if (c.at_scan) {
      EXPECT_NE(display_->find(title), 0U);
    } else {
      EXPECT_TRUE(wait_written(folder));
    }
    kill(notepack, c.signal_number);
    EXPECT_EQ(wait_exit(notepack), 128 + c.signal_number);
    if (c.at_scan) {
      EXPECT_EQ(folder.read("tarvel.h"), "<missing>");
      close(score);
    }
    termios after{};
    tcgetattr(terminal.slave(), &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
  }
}

TEST_F(DesktopWindow, ALostDisplayEndsItAsAHangUp) {
  const pid_t notepack = start_notepack(folder_, display_->name(), on(terminal_));
  ASSERT_TRUE(wait_written(folder_));
  display_->stop_server();
  EXPECT_EQ(wait_exit(notepack), 128 + SIGHUP);
}

// The display may go away at any moment while the window opens: before the
// window is there, the run goes on in the terminal; after, it ends as a
// hang-up. Never a crash, and never Xlib's own exit.
TEST_F(DesktopWindow, ADisplayLostWhileTheWindowOpensEndsItAsAHangUpOrGoesOnInTheTerminal) {
  for (int run = 0; run < 20; ++run) {
    const auto after = std::chrono::milliseconds(20 * run);
    SCOPED_TRACE(testing::Message() << "display lost after " << after.count() << " ms");
    VirtualDisplay display;
    ASSERT_FALSE(display.name().empty());
    const TempFolder folder;
    folder.write("score.xml", testing_support::kNotepackExample);
    const Terminal terminal;
    const pid_t notepack = start_notepack(folder, display.name(), on(terminal));
    std::this_thread::sleep_for(after);
    display.stop_server();
    int status = 0;
    bool ended = false;
    std::string shown;
    for (int i = 0; i < 500 && !ended && !shown.ends_with("ok\r\n"); ++i) {
      std::this_thread::sleep_for(10ms);
      ended = waitpid(notepack, &status, WNOHANG) == notepack;
      shown += terminal.shown();
    }
    if (!ended) {
      terminal.type("x");  // the run went on in the terminal and waits for its key there
      EXPECT_EQ(wait_exit(notepack), 0);
      EXPECT_EQ(shown, kShown);
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP)
          << (WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                                : "signal " + std::to_string(WTERMSIG(status)));
    }
  }
}

// Without a real display driver, or without a window library that can be
// loaded, the window is the terminal, as where there is no display at all.
TEST_F(DesktopWindow, WithoutADriverOrItsLibraryTheWindowIsTheTerminal) {
  const TempFolder not_a_library;
  not_a_library.write("libSDL2-2.0.so.0", "not a library");
  const std::vector<std::pair<std::string, std::string>> settings = {
      {"SDL_VIDEODRIVER", "dummy"},
      {"SDL_VIDEODRIVER", "offscreen"},
      {"LD_LIBRARY_PATH", not_a_library.path().string()},
      {"LD_LIBRARY_PATH", SDL_WITHOUT_FUNCTIONS}};
  for (const auto& setting : settings) {
    SCOPED_TRACE(setting.first + "=" + setting.second);
    const TempFolder folder;
    folder.write("score.xml", testing_support::kNotepackExample);
    const Terminal terminal;
    Start how = on(terminal);
    how.environment = {setting};
    const pid_t notepack = start_notepack(folder, display_->name(), how);
    ASSERT_TRUE(wait_written(folder));
    terminal.type("x");
    EXPECT_EQ(wait_exit(notepack), 0);
    EXPECT_EQ(terminal.shown(), kShown);
    EXPECT_EQ(folder.read("tarvel.h"), kHeader);
  }
}

// Output sent to a file is a stream, display or not, and keys come from
// standard input: nothing waits on a window nobody watches.
TEST_F(DesktopWindow, OutputToAFileOpensNoWindowAndKeysComeFromStandardInput) {
  for (const bool keys_from_terminal : {false, true}) {
    SCOPED_TRACE(keys_from_terminal ? "standard input a terminal" : "standard input /dev/null");
    const TempFolder folder;
    folder.write("score.xml", testing_support::kNotepackExample);
    const Terminal terminal;
    Start how;
    how.input = keys_from_terminal ? terminal.slave() : -1;
    const pid_t notepack = start_notepack(folder, display_->name(), how);
    if (keys_from_terminal) {
      ASSERT_TRUE(wait_written(folder));
      terminal.type("x");
    }
    EXPECT_EQ(wait_exit(notepack), 0);
    EXPECT_EQ(folder.read("window.txt"), kShown);
    EXPECT_EQ(folder.read("tarvel.h"), kHeader);
  }
}

}  // namespace
