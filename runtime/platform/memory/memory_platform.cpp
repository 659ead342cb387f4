#include "runtime/platform/memory/memory_platform.hpp"

#include <algorithm>

namespace rt {
namespace {

// Reads and writes a file's bytes in place.
class MemoryFile final : public PlatformFile {
 public:
  MemoryFile(MemoryPlatform::File& file, bool append) : file_(file), append_(append) {}

  long read(char* buffer, std::size_t size) override {
    if (file_.writer_comes_after > 0) {
      --file_.writer_comes_after;
      return kNotYet;
    }
    std::size_t end = file_.data.size();
    if (file_.read_error_at) {
      if (position_ >= *file_.read_error_at) {
        return -1;
      }
      end = std::min(end, *file_.read_error_at);  // the bytes before the bad spot still arrive
    }
    if (position_ >= end) {
      return 0;
    }
    const std::size_t take = std::min(size, end - position_);
    std::copy_n(file_.data.data() + position_, take, buffer);
    position_ += take;
    return static_cast<long>(take);
  }

  bool write(const char* data, std::size_t size) override {
    if (append_) {
      position_ = file_.data.size();
    }
    const std::size_t end = position_ + size;
    if (file_.space && end > *file_.space) {
      return false;
    }
    if (file_.data.size() < end) {
      file_.data.resize(end);
    }
    std::copy_n(data, size, file_.data.data() + position_);
    position_ = end;
    return true;
  }

  bool seek(std::int64_t offset) override {
    position_ = static_cast<std::size_t>(offset);
    return true;
  }

  bool close(Finish /*finish*/) override { return !file_.fail_close; }

 private:
  MemoryPlatform::File& file_;
  bool append_;
  std::size_t position_ = 0;
};

// Collects the new content aside; it becomes the file's only at a close that
// keeps it, as a file replaced whole on a real disk.
class ReplacingFile final : public PlatformFile {
 public:
  ReplacingFile(std::map<std::string, MemoryPlatform::File>& files, std::string name)
      : files_(files), name_(std::move(name)) {}

  long read(char* /*buffer*/, std::size_t /*size*/) override { return 0; }

  bool write(const char* data, std::size_t size) override {
    const auto found = files_.find(name_);
    if (found != files_.end() && found->second.space && staged_.size() + size > *found->second.space) {
      return false;
    }
    staged_.append(data, size);
    return true;
  }

  bool seek(std::int64_t /*offset*/) override { return false; }

  bool close(Finish finish) override {
    const auto found = files_.find(name_);
    if (found != files_.end() && found->second.fail_close) {
      return false;
    }
    if (finish == Finish::keep) {
      files_[name_].data = std::move(staged_);
    }
    return true;
  }

 private:
  std::map<std::string, MemoryPlatform::File>& files_;
  std::string name_;
  std::string staged_;
};

}  // namespace

void MemoryPlatform::type(std::string_view bytes) {
  for (const char c : bytes) {
    keys.push_back(static_cast<unsigned char>(c));
  }
}

void MemoryPlatform::add_file(const std::string& file_name, std::string data) {
  files[file_name].data = std::move(data);
}

std::optional<std::string> MemoryPlatform::file(const std::string& file_name) const {
  const auto found = files.find(file_name);
  if (found == files.end() || found->second.directory) {
    return std::nullopt;
  }
  return found->second.data;
}

KeyEvent MemoryPlatform::read_key(int /*wait_ms*/) {
  ++key_looks;
  if (keys.empty()) {
    return {KeyEvent::Kind::end, 0};
  }
  const int code = keys.front();
  keys.pop_front();
  if (code == kResume) {
    return {KeyEvent::Kind::resumed, 0};
  }
  return {KeyEvent::Kind::key, code};
}

bool MemoryPlatform::folder_exists(const std::string& file_name) const {
  const auto slash = file_name.find_last_of('/');
  if (slash == std::string::npos) {
    return true;
  }
  const auto folder = files.find(file_name.substr(0, slash));
  return folder != files.end() && folder->second.directory;
}

OpenedFile MemoryPlatform::open_file(const std::string& file_name, OpenHow how) {
  if (file_name.empty() || file_name.find('\0') != std::string::npos || !folder_exists(file_name)) {
    return {};
  }
  auto found = files.find(file_name);
  const bool writes = how != OpenHow::read_only;
  if (found != files.end() && (found->second.directory || (writes && found->second.read_only))) {
    return {};
  }
  if (how == OpenHow::write_truncate && (found == files.end() || !found->second.stream)) {
    return {std::make_unique<ReplacingFile>(files, file_name), 0};
  }
  if (found == files.end()) {
    if (how == OpenHow::read_only || how == OpenHow::read_write_existing) {
      return {};
    }
    found = files.emplace(file_name, File{}).first;
  }
  File& file = found->second;
  if (how == OpenHow::write_truncate) {
    file.data.clear();
  }
  std::optional<std::int64_t> size;
  if (!file.stream) {
    size = static_cast<std::int64_t>(file.data.size());
  }
  return {std::make_unique<MemoryFile>(file, how == OpenHow::append), size};
}

namespace {

// A desktop window that keeps what it was shown.
class DesktopDouble final : public GridView {
 public:
  explicit DesktopDouble(std::string& shown) : shown_(shown) {}
  void printed(std::string_view bytes, const TextGrid& /*grid*/) override { shown_.append(bytes); }

 private:
  std::string& shown_;
};

}  // namespace

std::unique_ptr<GridView> MemoryPlatform::open_desktop_window(const std::string& /*title*/) {
  if (!desktop) {
    return nullptr;
  }
  ++desktop_windows;
  return std::make_unique<DesktopDouble>(desktop_shown);
}

}  // namespace rt
