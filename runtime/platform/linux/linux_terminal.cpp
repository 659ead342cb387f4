#include "runtime/platform/linux/linux_terminal.hpp"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace rt::linux_terminal {
namespace {

// Everything here is read by signal handlers, so it lives in plain statics.
struct termios saved_mode;
struct termios raw_mode_settings;
volatile sig_atomic_t raw_wanted = 0;  // the program runs the terminal raw
volatile sig_atomic_t raw_mode = 0;    // the terminal is raw right now
volatile sig_atomic_t handlers_installed = 0;
int saved_flags = -1;  // standard input's file status flags before O_ASYNC
std::atomic<bool> input_signal{true};
std::atomic<bool> hangup{false};
std::atomic<bool> resumed{false};
int resume_pipe[2] = {-1, -1};

char partial_path[PATH_MAX];
volatile sig_atomic_t partial_noted = 0;

constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

// The terminal back in its own mode, for a stop or for good.
void release_terminal() {
  if (raw_mode != 0) {
    tcsetattr(STDIN_FILENO, TCSADRAIN, &saved_mode);
    raw_mode = 0;
  }
  if (saved_flags != -1) {
    fcntl(STDIN_FILENO, F_SETFL, saved_flags);
  }
}

void give_back() {
  raw_wanted = 0;
  release_terminal();
  saved_flags = -1;
}

// After a continue: raw again, when the terminal is ours (in the foreground).
void take_terminal_again() {
  if (raw_wanted != 0 && tcgetpgrp(STDIN_FILENO) == getpgrp() &&
      tcsetattr(STDIN_FILENO, TCSADRAIN, &raw_mode_settings) == 0) {
    raw_mode = 1;
  }
  if (saved_flags != -1) {
    fcntl(STDIN_FILENO, F_SETFL, saved_flags | O_ASYNC);
  }
  resumed.store(true);
  input_signal.store(true);
  if (resume_pipe[1] != -1) {
    const char wake = 1;
    (void)!write(resume_pipe[1], &wake, 1);
  }
}

void set_handler(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_NODEFER | SA_RESTART;
  sigaction(signal_number, &action, nullptr);
}

void on_ending_signal(int signal_number) {
  if (signal_number == SIGHUP) {
    hangup.store(true);
  }
  if (partial_noted != 0) {
    unlink(partial_path);
  }
  give_back();
  // Let the signal take its default effect, so the exit status is the platform's.
  set_handler(signal_number, SIG_DFL);
  raise(signal_number);
}

void on_stop(int /*signal_number*/) {
  const int saved_errno = errno;
  release_terminal();
  set_handler(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);  // stops here until SIGCONT
  set_handler(SIGTSTP, on_stop);
  take_terminal_again();
  errno = saved_errno;
}

void on_continue(int /*signal_number*/) {
  const int saved_errno = errno;
  take_terminal_again();
  errno = saved_errno;
}

void on_input_signal(int /*signal_number*/) {
  input_signal.store(true);
}

bool ignored_at_start(int signal_number) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  return current.sa_handler == SIG_IGN;  // started so (nohup, a background job): keep it so
}

}  // namespace

void watch_signals() {
  if (handlers_installed != 0) {
    return;
  }
  handlers_installed = 1;
  if (pipe2(resume_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    resume_pipe[0] = resume_pipe[1] = -1;
  }
  for (const int signal_number : kEndingSignals) {
    if (!ignored_at_start(signal_number)) {
      set_handler(signal_number, on_ending_signal);
    }
  }
  if (!ignored_at_start(SIGTSTP)) {
    set_handler(SIGTSTP, on_stop);
  }
  set_handler(SIGCONT, on_continue);
  std::atexit(restore);
}

bool enter_raw_mode() {
  if (raw_wanted != 0) {
    return true;
  }
  if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &saved_mode) != 0) {
    return false;
  }
  watch_signals();
  raw_mode_settings = saved_mode;
  raw_mode_settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw_mode_settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
  raw_mode_settings.c_cc[VMIN] = 1;
  raw_mode_settings.c_cc[VTIME] = 0;
  raw_wanted = 1;
  raw_mode = 1;
  if (tcsetattr(STDIN_FILENO, TCSADRAIN, &raw_mode_settings) != 0) {
    raw_wanted = 0;
    raw_mode = 0;
    return false;
  }
  return true;
}

bool request_input_signal() {
  watch_signals();
  struct sigaction action {};
  action.sa_handler = on_input_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (sigaction(SIGIO, &action, nullptr) != 0) {
    return false;
  }
  const int flags = fcntl(STDIN_FILENO, F_GETFL);
  if (flags == -1 || fcntl(STDIN_FILENO, F_SETOWN, getpid()) == -1) {
    return false;
  }
  saved_flags = flags;
  if (fcntl(STDIN_FILENO, F_SETFL, flags | O_ASYNC) == -1) {
    saved_flags = -1;
    return false;
  }
  // Input that arrived before the request raised no signal: look once.
  input_signal.store(true);
  return true;
}

bool take_input_signal() {
  // A plain load first: this runs once per score byte, and nearly always finds nothing.
  return input_signal.load(std::memory_order_relaxed) && input_signal.exchange(false);
}

void mark_input_signal() {
  input_signal.store(true);
}

bool take_hangup() {
  return hangup.exchange(false);
}

bool take_resumed() {
  if (!resumed.load(std::memory_order_relaxed) || !resumed.exchange(false)) {
    return false;
  }
  char drained[64];
  while (resume_pipe[0] != -1 && read(resume_pipe[0], drained, sizeof drained) > 0) {
  }
  return true;
}

int resume_descriptor() {
  return resume_pipe[0];
}

void note_partial_file(const char* path) {
  partial_noted = 0;
  const std::size_t length = std::strlen(path);
  if (length < sizeof partial_path) {
    std::memcpy(partial_path, path, length + 1);
    partial_noted = 1;
  }
}

void forget_partial_file() {
  partial_noted = 0;
}

void restore() {
  give_back();
}

void hang_up() {
  // Through the handler where there is one, so that the end is that of a real hang-up.
  raise(SIGHUP);
  // Still running: the hang-up is ignored (nohup). Nothing can be shown any
  // more, so the process ends as a hang-up all the same.
  give_back();
  signal(SIGHUP, SIG_DFL);
  raise(SIGHUP);
  _exit(128 + SIGHUP);
}

}  // namespace rt::linux_terminal
