#include "runtime/runtime.hpp"

#include <cstdio>
#include <new>
#include <string>

namespace rt {

Runtime::Runtime(Platform& platform, DataTables data)
    : platform_(platform),
      keyboard_(platform),
      console_(platform, keyboard_),
      files_(platform),
      data_(std::move(data)) {
  // A score from a FIFO waits for its writer; Esc ends that wait as it ends
  // the reading of the score, without touching any file.
  files_.on_waiting_for_writer([this] {
    if (key_waiting() && poll_key() == "\x1b") {
      end_program(0);
    }
  });
}

void Runtime::print_text(std::int32_t file, std::string_view text, bool line_end) {
  if (file == 0) {
    if (line_end) {
      console_.print_line(text);
    } else {
      console_.print(text);
    }
    return;
  }
  std::int32_t error = files_.write(file, text);
  if (line_end && error != kErrIllegalCall) {
    error = files_.write(file, "\r\n");
  }
  if (error != 0) {
    error_number_ = error;
  }
}

void Runtime::print_integer(std::int32_t file, std::int32_t number, bool line_end) {
  char digits[16];
  const int length = std::snprintf(digits, sizeof digits, "% d", number);
  print_text(file, std::string_view(digits, static_cast<std::size_t>(length)), line_end);
}

void Runtime::print_line_end(std::int32_t file) {
  print_text(file, {}, true);
}

Text Runtime::input_line(std::string_view prompt, bool question_mark, bool line_end) {
  return console_.input_line(prompt, question_mark, line_end);
}

Runtime::LineEnd Runtime::read_line_watching_keys(std::int32_t number, Text& line) {
  for (;;) {
    if (at_end_of_file(number) != 0) {
      return LineEnd::end_of_file;
    }
    if (!key_waiting()) {
      // Every poll would come back empty until a key arrives, so the bytes up
      // to the line feed can be taken a buffer at a time.
      if (read_file_until(number, '\n', line)) {
        return LineEnd::line_feed;
      }
      continue;
    }
    if (poll_key() == "\x1b") {
      return LineEnd::escape;
    }
    const Text byte = read_file_bytes(1, number);
    if (byte == "\n") {
      return LineEnd::line_feed;
    }
    append_text(line, byte);
  }
}

std::int32_t Runtime::open_file(const Text& name, FileMode mode, FileAccess access, std::int32_t number) {
  return error_number_ = files_.open(name, mode, access, number);
}

std::int32_t Runtime::close_file(std::int32_t number) {
  return error_number_ = files_.close(number);
}

void Runtime::close_all_files() {
  files_.close_all();
  error_number_ = 0;
}

void Runtime::check_index(std::int32_t index, std::int32_t upper_bound, std::int32_t source_line,
                          std::string_view module) {
  if (!index_within(index, upper_bound)) {
    abort_with_error(kErrOutOfBounds, source_line, module);
  }
}

void Runtime::abort_with_error(std::int32_t number, std::int32_t source_line,
                               std::optional<std::string_view> module) {
  pending_report_ = compose_report(number, source_line, module);
  end_program(number);
}

void Runtime::end_program(std::int32_t exit_code) {
  if (!ended_) {
    ended_ = true;
    console_.close_window();
    files_.close_all();
    if (!pending_report_.empty()) {
      // The error stream is a text stream: each line feed arrives as CR LF.
      std::string report;
      for (const char c : pending_report_) {
        if (c == '\n') {
          report += '\r';
        }
        report += c;
      }
      platform_.write_error(report);
    }
  }
  throw ProgramEnd{exit_code};
}

void Runtime::open_window() {
  console_.open_window(platform_.program_name());
}

std::int32_t run_program(Platform& platform, DataTables data, const Program& program) {
  // Reals are IEEE doubles here, and with SSE arithmetic an extended 64-bit
  // significand would change none of the values the converters compute, so the
  // floating-point unit is left as the platform starts it.
  Runtime runtime(platform, std::move(data));
  try {
    try {
      program(runtime);
      runtime.end_program(0);
    } catch (const std::bad_alloc&) {
      runtime.abort_with_error(kErrOutOfMemory, 0, std::nullopt);
    }
  } catch (const ProgramEnd& end) {
    return end.exit_code;
  }
}

}  // namespace rt
