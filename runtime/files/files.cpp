#include "runtime/files/files.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/text/byte_search.hpp"

namespace rt {

NumberedFiles::~NumberedFiles() {
  close_all();
}

std::int32_t NumberedFiles::open(const std::string& name, FileMode mode, FileAccess access,
                                 std::int32_t number) {
  if (number < kLowest || number > kHighest || slot(number) != nullptr) {
    return kErrIllegalCall;
  }
  OpenedFile opened;
  switch (mode) {
    case FileMode::output:
      opened = platform_.open_file(name, OpenHow::write_truncate);
      break;
    case FileMode::append:
      opened = platform_.open_file(name, OpenHow::append);
      break;
    case FileMode::input:
      opened = platform_.open_file(name, OpenHow::read_only);
      break;
    case FileMode::binary:
    case FileMode::random:
      if (access == FileAccess::read) {
        opened = platform_.open_file(name, OpenHow::read_only);
      } else if (access == FileAccess::write) {
        opened = platform_.open_file(name, OpenHow::write_truncate);
      } else {
        opened = platform_.open_file(name, OpenHow::read_write_existing);
        if (!opened.stream) {
          opened = platform_.open_file(name, OpenHow::read_write_create);
        }
        if (!opened.stream && access == FileAccess::default_access) {
          opened = platform_.open_file(name, OpenHow::read_only);
        }
      }
      break;
  }
  if (!opened.stream) {
    return kErrFileNotFound;
  }
  auto file = std::make_unique<Open>();
  file->stream = std::move(opened.stream);
  file->mode = mode;
  file->size_at_open = opened.size;
  // A file only written needs no room to read ahead. The bytes are not
  // cleared: none is looked at before a read or a write puts it there.
  file->capacity = mode == FileMode::output || mode == FileMode::append ? kBufferSize : kReadAhead;
  file->buffer = std::make_unique_for_overwrite<char[]>(file->capacity);
  files_[static_cast<std::size_t>(number)] = std::move(file);
  return 0;
}

void NumberedFiles::flush(Open& file) {
  if (file.pending > 0 && !file.failed && !file.stream->write(file.buffer.get(), file.pending)) {
    file.failed = true;
  }
  file.pending = 0;
}

bool NumberedFiles::finish(Open& file) {
  flush(file);
  // A file that missed a write keeps its old content.
  const bool closed =
      file.stream->close(file.failed ? PlatformFile::Finish::discard : PlatformFile::Finish::keep);
  return closed && !file.failed;
}

std::int32_t NumberedFiles::close(std::int32_t number) {
  Open* file = slot(number);
  if (file == nullptr) {
    return kErrIllegalCall;
  }
  const bool complete = finish(*file);
  files_[static_cast<std::size_t>(number)].reset();
  return complete ? 0 : kErrFileIo;
}

bool NumberedFiles::close_all() {
  bool complete = true;
  for (auto& file : files_) {
    if (file) {
      complete = finish(*file) && complete;
      file.reset();
    }
  }
  return complete;
}

std::int32_t NumberedFiles::write(std::int32_t number, std::string_view bytes) {
  Open* file = slot(number);
  if (file == nullptr) {
    return kErrIllegalCall;
  }
  if (file->begin < file->end) {
    // Bytes were read ahead: writing goes on at the logical position.
    if (!file->stream->seek(file->position)) {
      file->failed = true;
    }
    file->begin = file->end = file->limit = 0;
  }
  while (!bytes.empty()) {
    const std::size_t room = kBufferSize - file->pending;
    const std::size_t take = std::min(room, bytes.size());
    std::copy_n(bytes.data(), take, file->buffer.get() + file->pending);
    file->pending += take;
    file->position += static_cast<std::int64_t>(take);
    bytes.remove_prefix(take);
    if (file->pending == kBufferSize) {
      flush(*file);
    }
  }
  return file->failed ? kErrFileIo : 0;
}

bool NumberedFiles::refill(Open& file) {
  flush(file);
  file.begin = file.end = file.limit = 0;
  if (file.exhausted) {
    return false;
  }
  long got = file.stream->read(file.buffer.get(), file.capacity);
  while (got == PlatformFile::kNotYet) {
    if (waiting_) {
      waiting_();
    }
    got = file.stream->read(file.buffer.get(), file.capacity);
  }
  if (got <= 0) {
    // A stream that ends early counts as ended, so that no reader spins; one
    // that fails ends too, and says so.
    file.exhausted = true;
    file.read_failed = got < 0;
    return false;
  }
  file.end = static_cast<std::size_t>(got);
  file.limit = file.end;
  if (file.sized()) {
    const std::int64_t before_end = std::max<std::int64_t>(0, *file.size_at_open - file.position);
    file.limit =
        static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(file.end), before_end));
  }
  return true;
}

std::int32_t NumberedFiles::at_end_otherwise(std::int32_t number) {
  Open* file = slot(number);
  if (file == nullptr) {
    return kTrue;
  }
  if (file->sized()) {
    return file->past_recorded_end() ? kTrue : kFalse;
  }
  if (file->begin < file->end) {
    return kFalse;
  }
  if (file->mode == FileMode::output || file->mode == FileMode::append) {
    return kTrue;
  }
  return refill(*file) ? kFalse : kTrue;
}

Text NumberedFiles::read_bytes(std::int32_t count, std::int32_t number) {
  Open* file = slot(number);
  if (file == nullptr || count <= 0) {
    return {};
  }
  Text bytes;
  auto wanted = static_cast<std::size_t>(count);
  while (wanted > 0) {
    if (file->begin == file->end && !refill(*file)) {
      break;
    }
    const std::size_t take = std::min(wanted, file->end - file->begin);
    bytes.append(file->buffer.get() + file->begin, take);
    file->begin += take;
    file->position += static_cast<std::int64_t>(take);
    wanted -= take;
  }
  return bytes;
}

std::string_view NumberedFiles::readable_after_refill(Open& file) {
  if ((file.sized() && file.past_recorded_end()) || (file.begin == file.end && !refill(file)) ||
      file.begin >= file.limit) {
    return {};
  }
  return {file.buffer.get() + file.begin, file.limit - file.begin};
}

bool NumberedFiles::read_until(std::int32_t number, char delimiter, Text& out) {
  Open* file = slot(number);
  if (file == nullptr) {
    return false;
  }
  const std::string_view bytes = readable(*file);
  if (bytes.empty()) {
    return false;
  }
  const auto found = bytes.find(delimiter);
  const std::size_t taken = found != std::string_view::npos ? found : bytes.size();
  out.append(bytes.data(), taken);
  const std::size_t consumed = taken + (found != std::string_view::npos ? 1 : 0);
  file->begin += consumed;
  file->position += static_cast<std::int64_t>(consumed);
  return found != std::string_view::npos;
}

std::string_view NumberedFiles::skip_lines_without(std::int32_t number, std::string_view pattern) {
  Open* file = slot(number);
  if (file == nullptr || pattern.empty()) {
    return {};
  }
  const std::string_view bytes = readable(*file);
  if (bytes.empty()) {
    return {};
  }
  // A pattern holds no line feed, so a line that contains it holds all of it.
  const std::size_t match = find_bytes(bytes, pattern);
  const std::size_t before = match != std::string_view::npos ? match : bytes.size();
  const void* last_line_feed = memrchr(bytes.data(), '\n', before);
  if (last_line_feed == nullptr) {
    return {};
  }
  const std::string_view skipped =
      bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(last_line_feed) - bytes.data()) + 1);
  file->begin += skipped.size();
  file->position += static_cast<std::int64_t>(skipped.size());
  return skipped;
}

}  // namespace rt
