// An in-memory platform for tests and fuzzers: scripted keys in, captured
// output and files out, and files that fail on purpose.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/platform/platform.hpp"

namespace rt {

class MemoryPlatform final : public Platform {
 public:
  struct File {
    std::string data;
    bool directory = false;
    bool read_only = false;                    // opens for writing fail
    std::optional<std::size_t> space;          // bytes the file can hold; writes past it fail
    bool fail_close = false;                   // the close reports a failure
    std::optional<std::size_t> read_error_at;  // reading the byte at this offset fails
    bool stream = false;                       // a FIFO: no size at open, read to its end
    int writer_comes_after = 0;                // a FIFO: reads that find its writer not yet there
  };

  // The files by name; a name with "/" needs its folder as a directory entry.
  std::map<std::string, File> files;
  std::string output;  // everything written to standard output
  std::string error;   // everything written to standard error
  bool terminal = false;
  bool utf8 = false;
  int width = 80;
  int beeps = 0;
  std::string name = "program";
  std::deque<int> keys;  // key codes in the order they arrive, all at once
  // Put among the keys: the program is stopped and continued at that point.
  static constexpr int kResume = -1;
  long key_looks = 0;         // how often the program looked for a key
  bool desktop = false;       // a display is there: desktop windows open
  int desktop_windows = 0;    // how many were opened
  std::string desktop_shown;  // what was printed into them

  // Queues each byte as a key code.
  void type(std::string_view bytes);
  // Adds a file holding data.
  void add_file(const std::string& file_name, std::string data);
  // The content of a file, or nothing when it does not exist.
  std::optional<std::string> file(const std::string& file_name) const;

  bool write_output(std::string_view bytes) override {
    output.append(bytes);
    return true;
  }
  void write_error(std::string_view bytes) override { error.append(bytes); }
  bool output_is_terminal() const override { return terminal; }
  bool text_is_utf8() const override { return utf8; }
  int screen_width() const override { return width; }
  void beep() override { ++beeps; }
  // Scripted keys arrive at once; after the last one the input has ended, so
  // a program under test never waits.
  KeyEvent read_key(int wait_ms) override;
  OpenedFile open_file(const std::string& file_name, OpenHow how) override;
  void sleep_ms(int /*milliseconds*/) override {}
  std::unique_ptr<GridView> open_desktop_window(const std::string& title) override;
  std::string program_name() const override { return name; }

 private:
  bool folder_exists(const std::string& file_name) const;
};

}  // namespace rt
