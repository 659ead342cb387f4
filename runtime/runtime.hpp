// The services both converters are written against: console and keys, numbered
// files, constant tables, the current error number, the run-time error report
// and the end of a run. One Runtime serves one run of one program.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "runtime/console/console.hpp"
#include "runtime/console/keyboard.hpp"
#include "runtime/errors/errors.hpp"
#include "runtime/files/files.hpp"
#include "runtime/platform/platform.hpp"
#include "runtime/text/data_tables.hpp"
#include "runtime/text/numbers.hpp"
#include "runtime/text/text.hpp"

namespace rt {

// Thrown by end_program to leave the program; run_program catches it. Under the
// in-memory platform this ends one run without ending the process around it.
struct ProgramEnd {
  std::int32_t exit_code;
};

class Runtime {
 public:
  Runtime(Platform& platform, DataTables data);

  // Console (file number 0) and files.
  void print_text(std::int32_t file, std::string_view text, bool line_end);
  void print_integer(std::int32_t file, std::int32_t number, bool line_end);
  void print_line_end(std::int32_t file);
  Text input_line(std::string_view prompt, bool question_mark, bool line_end);
  Text poll_key() { return keyboard_.poll_key(); }
  void wait_key(std::int32_t milliseconds) {
    console_.flush();
    keyboard_.wait_key(milliseconds);
  }

  std::int32_t open_file(const Text& name, FileMode mode, FileAccess access, std::int32_t number);
  std::int32_t close_file(std::int32_t number);
  void close_all_files();
  // The reading operations end the run with run-time error 3 when a read
  // fails: a file that could not be read to its end must not pass for a whole one.
  std::int32_t at_end_of_file(std::int32_t number) { return after_read(number, files_.at_end(number)); }
  Text read_file_bytes(std::int32_t count, std::int32_t number) {
    return after_read(number, files_.read_bytes(count, number));
  }
  // The bulk form of reading byte by byte up to a delimiter: appends at most one
  // buffer of bytes to out and tells whether the delimiter was met (and consumed).
  bool read_file_until(std::int32_t number, char delimiter, Text& out) {
    return after_read(number, files_.read_until(number, delimiter, out));
  }
  // The bulk form of reading a line byte by byte, for a line that is whole in
  // the buffer: true, with line a view that lasts until the next operation on
  // the file.
  bool take_file_line(std::int32_t number, std::string_view& line) {
    return files_.take_line(number, line) || after_read(number, false);  // a line came: no read failed
  }
  // The bulk form of reading lines one by one and dropping those without
  // pattern: gives the whole lines it passed over (a view that lasts until the
  // next operation on the file).
  std::string_view skip_lines_without(std::int32_t number, std::string_view pattern) {
    return after_read(number, files_.skip_lines_without(number, pattern));
  }
  bool key_waiting() { return keyboard_.key_waiting(); }
  // How a line of a score, read as both converters read one, ended.
  enum class LineEnd { line_feed, end_of_file, escape };
  // Appends the rest of a line to line as reading it byte by byte would, with
  // the end-of-file test and then a key poll before each byte: Esc stops it,
  // any other key is dropped. While no key waits, a buffer is taken at a time.
  LineEnd read_line_watching_keys(std::int32_t number, Text& line);

  void restore_table(std::string_view label) { data_.restore_table(label); }
  Text read_item() { return data_.read_item(); }

  std::int32_t error_number() const { return error_number_; }
  std::int32_t set_error_number(std::int32_t number) { return error_number_ = number; }
  // Ends the run with run-time error 6 when index is not within 0 to upper_bound.
  void check_index(std::int32_t index, std::int32_t upper_bound, std::int32_t source_line,
                   std::string_view module);
  [[noreturn]] void abort_with_error(std::int32_t number, std::int32_t source_line,
                                     std::optional<std::string_view> module);
  // Closes the window and every file, writes a pending report to standard
  // error and ends the run with the exit code.
  [[noreturn]] void end_program(std::int32_t exit_code);

  // Opens the text window, titled with the program's name; console output and
  // keys then belong to it.
  void open_window();
  const Window* window() const { return console_.window(); }

  Platform& platform() { return platform_; }
  Keyboard& keyboard() { return keyboard_; }

 private:
  template <typename Result>
  Result after_read(std::int32_t number, Result result) {
    if (files_.read_failed(number)) {
      abort_with_error(kErrFileIo, 0, std::nullopt);
    }
    return result;
  }

  Platform& platform_;
  Keyboard keyboard_;
  Console console_;
  NumberedFiles files_;
  DataTables data_;
  std::int32_t error_number_ = 0;
  Text pending_report_;
  bool ended_ = false;
};

using Program = std::function<void(Runtime&)>;

// Runs a program to its end on a platform and gives its exit code. A program
// that returns ends with 0; running out of memory ends as run-time error 4.
std::int32_t run_program(Platform& platform, DataTables data, const Program& program);

}  // namespace rt
