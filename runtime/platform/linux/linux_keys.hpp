// Keys from standard input on Linux. A terminal's bytes go through the key
// decoder; a pipe's or file's bytes are keys as they stand. Looking for a key
// costs no system call unless input can have arrived since the last look.
#pragma once

#include <deque>

#include "runtime/console/key_decoder.hpp"
#include "runtime/platform/platform.hpp"

namespace rt {

class LinuxKeys {
 public:
  KeyEvent read(int wait_ms);
  bool is_terminal();

 private:
  enum class Source { unknown, terminal, signalled, polled, ready, closed };
  void start();
  // Reads what is there, waiting up to wait_ms (-1: as long as it takes).
  void fill(int wait_ms);
  void take(const unsigned char* bytes, long count);

  Source source_ = Source::unknown;
  KeyDecoder decoder_;
  std::deque<int> keys_;
  bool ended_ = false;
};

}  // namespace rt
