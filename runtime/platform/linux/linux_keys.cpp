#include "runtime/platform/linux/linux_keys.hpp"

#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/platform/linux/linux_terminal.hpp"

namespace rt {
namespace {

// How long an Esc waits for the rest of an escape sequence.
constexpr int kSequenceMs = 40;
constexpr std::size_t kChunk = 4096;

// True when standard input has bytes (or its end) within wait_ms; false when
// the time is up or the process was continued after a stop.
bool input_ready(int wait_ms) {
  struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {linux_terminal::resume_descriptor(), POLLIN, 0}};
  const nfds_t count = fds[1].fd == -1 ? 1 : 2;
  for (;;) {
    const int ready = poll(fds, count, wait_ms);
    if (ready >= 0) {
      return ready > 0 && fds[0].revents != 0;
    }
    if (errno != EINTR) {
      return true;  // let the read report what is wrong
    }
  }
}

long read_input(unsigned char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, size);
    if (got >= 0 || errno != EINTR) {
      return static_cast<long>(got);
    }
  }
}

}  // namespace

void LinuxKeys::start() {
  struct stat info {};
  if (fstat(STDIN_FILENO, &info) != 0) {
    source_ = Source::closed;
    ended_ = true;
    return;
  }
  if (isatty(STDIN_FILENO) != 0) {
    source_ = Source::terminal;
    struct termios mode {};
    if (tcgetattr(STDIN_FILENO, &mode) == 0 && mode.c_cc[VERASE] != _POSIX_VDISABLE) {
      decoder_ = KeyDecoder(mode.c_cc[VERASE]);
    }
    linux_terminal::enter_raw_mode();
    if (!linux_terminal::request_input_signal()) {
      source_ = Source::polled;
    }
    return;
  }
  if (S_ISREG(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
    source_ = Source::ready;  // a read never waits for somebody to type
    return;
  }
  source_ = linux_terminal::request_input_signal() ? Source::signalled : Source::polled;
}

bool LinuxKeys::is_terminal() {
  if (source_ == Source::unknown) {
    start();
  }
  return source_ == Source::terminal || (source_ == Source::polled && isatty(STDIN_FILENO) != 0);
}

void LinuxKeys::take(const unsigned char* bytes, long count) {
  const bool decode = is_terminal();
  for (long i = 0; i < count; ++i) {
    if (decode) {
      decoder_.feed(bytes[i], keys_);
    } else {
      keys_.push_back(bytes[i]);
    }
  }
}

void LinuxKeys::fill(int wait_ms) {
  unsigned char buffer[kChunk];
  if (source_ == Source::ready) {
    const long got = read_input(buffer, sizeof buffer);
    if (got <= 0) {
      ended_ = true;
    }
    take(buffer, got);
    return;
  }
  if (wait_ms == 0 && source_ != Source::polled && !linux_terminal::take_input_signal()) {
    return;  // nothing can have arrived since the last look
  }
  if (!input_ready(wait_ms)) {
    return;
  }
  const long got = read_input(buffer, sizeof buffer);
  if (got <= 0) {
    ended_ = true;  // end of the pipe, or a terminal that went away
    decoder_.timeout(keys_);
    return;
  }
  linux_terminal::mark_input_signal();  // more may be waiting behind this chunk
  take(buffer, got);
  while (decoder_.pending()) {
    if (!input_ready(kSequenceMs)) {
      decoder_.timeout(keys_);
      break;
    }
    const long more = read_input(buffer, sizeof buffer);
    if (more <= 0) {
      ended_ = true;
      decoder_.timeout(keys_);
      break;
    }
    take(buffer, more);
  }
}

KeyEvent LinuxKeys::read(int wait_ms) {
  if (source_ == Source::unknown) {
    start();
  }
  if (linux_terminal::take_hangup()) {
    keys_.push_back(kKeyClose);
  }
  // A wait without limit goes on until a whole key has come, since a byte may
  // be the start of a sequence that yields none.
  while (keys_.empty() && !ended_) {
    if (linux_terminal::take_resumed()) {
      return {KeyEvent::Kind::resumed, 0};
    }
    fill(wait_ms);
    if (wait_ms >= 0) {
      break;
    }
  }
  if (!keys_.empty()) {
    const int code = keys_.front();
    keys_.pop_front();
    return {KeyEvent::Kind::key, code};
  }
  return {ended_ ? KeyEvent::Kind::end : KeyEvent::Kind::none, 0};
}

}  // namespace rt
