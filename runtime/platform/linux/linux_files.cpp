#include "runtime/platform/linux/linux_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/platform/linux/linux_terminal.hpp"

namespace rt {

bool write_fully(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && errno == EAGAIN) {
      struct pollfd wait_for {
        fd, POLLOUT, 0
      };
      poll(&wait_for, 1, -1);
    } else {
      return false;
    }
  }
  return true;
}

namespace {

// The folder part of a path, with its final "/", or empty for the current folder.
std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a name stands for once every symbolic link on the way is followed;
// the name itself when it is no link or cannot be read as one.
std::string final_target(const std::string& name) {
  std::string path = name;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return path;
    }
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) {
      return path;
    }
    const std::string_view link(target, static_cast<std::size_t>(length));
    path = link.front() == '/' ? std::string() : folder_of(path);
    path += link;
  }
  return path;  // a loop: opening it fails as it should
}

// What every hidden temporary of target begins with: ".tarvel.h.notepack-partial-".
std::string partial_prefix(const std::string& target, const std::string& program) {
  return "." + target.substr(folder_of(target).size()) + "." + program + "-partial-";
}

// A fresh hidden name beside target that says what the file is and which
// process made it: ".tarvel.h.notepack-partial-4711-Xy3k9Q".
std::string partial_name(const std::string& target, const std::string& program) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[6] = {};
  if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    auto mix = static_cast<unsigned long>(now.tv_nsec) ^ (static_cast<unsigned long>(getpid()) << 20U);
    for (auto& byte : random) {
      byte = static_cast<unsigned char>(mix);
      mix = mix * 6364136223846793005UL + 1442695040888963407UL;
    }
  }
  std::string suffix = "." + program + "-partial-" + std::to_string(getpid()) + "-";
  for (const unsigned char byte : random) {
    suffix += kLetters[byte % (sizeof kLetters - 1)];
  }
  std::string base = target.substr(folder_of(target).size());
  constexpr std::size_t kNameMax = 255;
  if (1 + base.size() + suffix.size() > kNameMax) {
    base.resize(kNameMax > 1 + suffix.size() ? kNameMax - 1 - suffix.size() : 0);
  }
  return folder_of(target) + "." + base + suffix;
}

// Removes the hidden temporaries of target whose process is gone. Only kill -9
// in the moment between naming a finished temporary and moving it over its
// target leaves one, and the next run that writes the target takes it away.
void remove_stale_partials(const std::string& target, const std::string& program) {
  const std::string folder = folder_of(target);
  const std::string prefix = partial_prefix(target, program);
  DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) {
    return;
  }
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (!name.starts_with(prefix)) {
      continue;
    }
    const long pid = std::strtol(std::string(name.substr(prefix.size())).c_str(), nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      unlink((folder + std::string(name)).c_str());
    }
  }
  closedir(listing);
}

// The old file's access list goes to the new one whole, after the mode: with
// a list, the group bits of the mode are its mask, and the list put back last
// is the old one, mask and all. A file system without lists has none to copy.
void copy_access_list(const std::string& target, int fd) {
  static constexpr char kName[] = "system.posix_acl_access";
  std::vector<char> list(4096);
  const ssize_t size = getxattr(target.c_str(), kName, list.data(), list.size());
  if (size > 0) {
    (void)fsetxattr(fd, kName, list.data(), static_cast<std::size_t>(size), 0);
  }
}

bool may_try_in_place(int error) {
  // A folder we may not write in can still hold a file we may write.
  return error == EACCES || error == EPERM;
}

class LinuxFile final : public PlatformFile {
 public:
  LinuxFile(int fd, LinuxFiles::Parked* parking, const struct stat& info)
      : fd_(fd), parking_(parking), info_(info) {}
  LinuxFile(const LinuxFile&) = delete;
  LinuxFile& operator=(const LinuxFile&) = delete;
  ~LinuxFile() override {
    if (fd_ != -1) {
      ::close(fd_);
    }
  }

  long read(char* buffer, std::size_t size) override {
    // A FIFO without a writer reads as ended; until its writer has come, the
    // end would be a score nobody has written yet, so it is waited for.
    if (parking_ != nullptr && !writer_seen_) {
      struct pollfd ready {
        fd_, POLLIN, 0
      };
      const int found = poll(&ready, 1, kWriterWaitMs);
      if (found == 0 || (found < 0 && errno == EINTR)) {
        return kNotYet;
      }
      writer_seen_ = true;
    }
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, size);
      if (got >= 0 || errno != EINTR) {
        read_any_ = read_any_ || got != 0;
        return static_cast<long>(got);
      }
    }
  }
  bool write(const char* data, std::size_t size) override { return write_fully(fd_, data, size); }
  bool seek(std::int64_t offset) override { return lseek(fd_, static_cast<off_t>(offset), SEEK_SET) != -1; }
  bool close(Finish /*finish*/) override {
    const int fd = std::exchange(fd_, -1);
    if (parking_ != nullptr && !read_any_) {
      if (parking_->fd != -1) {
        ::close(parking_->fd);
      }
      *parking_ = {fd, info_.st_dev, info_.st_ino};
      return true;
    }
    // Close reports the failures a file system delays until then (full disk, quota).
    return ::close(fd) == 0;
  }

 private:
  int fd_;
  LinuxFiles::Parked* parking_;  // set for the read end of a FIFO
  struct stat info_;
  bool read_any_ = false;
  // Linux tells a FIFO reader of a hang-up only once a writer has come and
  // gone, so until poll reports anything the writer is still to come.
  bool writer_seen_ = false;
  static constexpr int kWriterWaitMs = 100;
};

}  // namespace

// The output folders this run holds locked. A run takes its folder's lock
// before the first file it replaces there and keeps it until the last of
// them is in place, so that files a run writes together (a header and its
// program file) are never mixed with another run's. The lock is the folder's
// own flock: no lock file is left behind.
class LinuxFiles::FolderLocks {
 public:
  FolderLocks() = default;
  FolderLocks(const FolderLocks&) = delete;
  FolderLocks& operator=(const FolderLocks&) = delete;
  ~FolderLocks() {
    for (const Held& held : held_) {
      ::close(held.fd);
    }
  }

  void take(const std::string& folder) {
    for (Held& held : held_) {
      if (held.folder == folder) {
        ++held.holders;
        return;
      }
    }
    // A folder that cannot be opened or locked is written unlocked, as before.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd != -1) {
      int locked = -1;
      do {
        locked = flock(fd, LOCK_EX);
      } while (locked != 0 && errno == EINTR);
      if (locked != 0) {
        ::close(fd);
      }
      held_.push_back({folder, locked == 0 ? fd : -1, 1});
      return;
    }
    held_.push_back({folder, -1, 1});
  }

  void release(const std::string& folder) {
    for (auto it = held_.begin(); it != held_.end(); ++it) {
      if (it->folder == folder && --it->holders == 0) {
        if (it->fd != -1) {
          ::close(it->fd);
        }
        held_.erase(it);
        return;
      }
    }
  }

 private:
  struct Held {
    std::string folder;
    int fd;
    int holders;
  };
  std::vector<Held> held_;
};

namespace {

// One replaced file's share of its folder's lock, given back once.
class FolderShare {
 public:
  FolderShare(std::shared_ptr<LinuxFiles::FolderLocks> locks, std::string folder)
      : locks_(std::move(locks)), folder_(std::move(folder)) {
    locks_->take(folder_);
  }
  FolderShare(const FolderShare&) = delete;
  FolderShare& operator=(const FolderShare&) = delete;
  ~FolderShare() { give_back(); }
  void give_back() {
    if (locks_) {
      std::exchange(locks_, nullptr)->release(folder_);
    }
  }

 private:
  std::shared_ptr<LinuxFiles::FolderLocks> locks_;
  std::string folder_;
};

// A file written aside and put in place of target by the close that keeps it.
class ReplacingFile final : public PlatformFile {
 public:
  // partial is the temporary's name, or empty for an unnamed one (O_TMPFILE).
  ReplacingFile(int fd, std::string target, std::string partial, std::string program,
                std::unique_ptr<FolderShare> share)
      : fd_(fd),
        target_(std::move(target)),
        partial_(std::move(partial)),
        program_(std::move(program)),
        share_(std::move(share)) {}
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile() override {
    if (fd_ != -1) {
      discard();
    }
  }

  // Nothing of the new content can be read back before it is in place.
  long read(char* /*buffer*/, std::size_t /*size*/) override { return 0; }
  bool write(const char* data, std::size_t size) override { return write_fully(fd_, data, size); }
  bool seek(std::int64_t offset) override { return lseek(fd_, static_cast<off_t>(offset), SEEK_SET) != -1; }
  bool close(Finish finish) override {
    if (finish == Finish::discard) {
      discard();
      return true;
    }
    const bool committed = commit();
    share_->give_back();
    return committed;
  }

 private:
  bool commit() {
    // On the disk before the name moves, so that a crash leaves old or new, never empty.
    if (fsync(fd_) != 0) {
      discard();
      return false;
    }
    if (partial_.empty() &&
        linkat(AT_FDCWD, self_path().c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      // A new name takes the finished file in one step, with no name in between.
      if (::close(std::exchange(fd_, -1)) != 0) {
        unlink(target_.c_str());
        return false;
      }
    } else {
      if (partial_.empty() && (errno != EEXIST || !give_name())) {
        discard();
        return false;
      }
      const bool closed = ::close(std::exchange(fd_, -1)) == 0;
      const bool renamed = closed && rename(partial_.c_str(), target_.c_str()) == 0;
      // A folder with the sticky bit refuses to replace another user's file
      // that a plain write may still change: then it is written in place.
      const bool written = renamed || (closed && errno == EPERM && copy_in_place());
      if (!renamed) {
        unlink(partial_.c_str());
      }
      linux_terminal::forget_partial_file();
      if (!written) {
        return false;
      }
    }
    // The folder is not synced as well: a crash before the system writes it
    // back leaves the old file under the name, which is as whole as the new.
    return true;
  }

  // The finished temporary copied over the target's own content.
  bool copy_in_place() const {
    const int from = ::open(partial_.c_str(), O_RDONLY | O_CLOEXEC);
    if (from == -1) {
      return false;
    }
    const int to = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    bool copied = to != -1;
    std::vector<char> buffer(std::size_t{64} * 1024);
    for (ssize_t got = 0; copied && (got = ::read(from, buffer.data(), buffer.size())) != 0;) {
      copied = got > 0 && write_fully(to, buffer.data(), static_cast<std::size_t>(got));
    }
    copied = copied && fsync(to) == 0;
    if (to != -1) {
      copied = ::close(to) == 0 && copied;
    }
    ::close(from);
    return copied;
  }

  // Links the unnamed temporary under a hidden name beside the target; only
  // rename can then put it in the target's place.
  bool give_name() {
    const std::string self = self_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = partial_name(target_, program_);
      // Noted before it exists: a signal between the link and the rename removes it.
      linux_terminal::note_partial_file(name.c_str());
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        partial_ = std::move(name);
        return true;
      }
      linux_terminal::forget_partial_file();
      if (errno != EEXIST) {
        return false;
      }
    }
    return false;
  }

  // The unnamed temporary, as linkat can reach it.
  std::string self_path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  void discard() {
    if (!partial_.empty()) {
      unlink(partial_.c_str());
      linux_terminal::forget_partial_file();
    }
    if (fd_ != -1) {
      ::close(std::exchange(fd_, -1));
    }
    share_->give_back();
  }

  int fd_;
  std::string target_;
  std::string partial_;
  std::string program_;
  std::unique_ptr<FolderShare> share_;
};

int open_flags(OpenHow how, bool fifo) {
  switch (how) {
    case OpenHow::read_only:
      return O_RDONLY;
    case OpenHow::write_truncate:
      return O_WRONLY | O_CREAT | O_TRUNC;
    case OpenHow::append:
      return O_WRONLY | O_CREAT | O_APPEND;
    case OpenHow::read_write_existing:
      // A FIFO opened for both would be its own writer and never end.
      return fifo ? O_RDONLY : O_RDWR;
    case OpenHow::read_write_create:
      return fifo ? O_RDONLY : O_RDWR | O_CREAT;
  }
  return O_RDONLY;
}

}  // namespace

LinuxFiles::LinuxFiles(std::string program_name)
    : program_name_(std::move(program_name)),
      umask_(umask(0)),
      unnamed_temporaries_(access("/proc/self/fd", F_OK) == 0),
      folder_locks_(std::make_shared<FolderLocks>()) {
  umask(umask_);
}

LinuxFiles::~LinuxFiles() {
  if (parked_.fd != -1) {
    ::close(parked_.fd);
  }
}

OpenedFile LinuxFiles::open(const std::string& name, OpenHow how) {
  if (name.find('\0') != std::string::npos) {
    return {};  // no such name can exist on this platform
  }
  if (how == OpenHow::write_truncate) {
    return open_replacing(name);
  }
  if (how != OpenHow::append) {
    if (OpenedFile parked = take_parked(name); parked.stream) {
      return parked;
    }
  }
  return open_in_place(name, how);
}

OpenedFile LinuxFiles::take_parked(const std::string& name) {
  struct stat info {};
  if (parked_.fd == -1 || stat(name.c_str(), &info) != 0 || !S_ISFIFO(info.st_mode) ||
      info.st_dev != parked_.device || info.st_ino != parked_.inode) {
    return {};
  }
  const int fd = std::exchange(parked_.fd, -1);
  return {std::make_unique<LinuxFile>(fd, &parked_, info), std::nullopt};
}

OpenedFile LinuxFiles::open_in_place(const std::string& name, OpenHow how) {
  struct stat before {};
  const bool fifo = stat(name.c_str(), &before) == 0 && S_ISFIFO(before.st_mode);
  // Non-blocking, so that a FIFO without a partner fails or reads as empty
  // instead of hanging the open; the stream blocks as usual afterwards.
  const int fd = ::open(name.c_str(), open_flags(how, fifo) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd == -1) {
    return {};
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return {};
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags != -1) {
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  const bool stream = S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
  const bool parks = S_ISFIFO(info.st_mode) && (open_flags(how, true) & O_ACCMODE) == O_RDONLY;
  std::optional<std::int64_t> size;
  if (S_ISREG(info.st_mode)) {
    size = static_cast<std::int64_t>(info.st_size);
  } else if (!stream) {
    size = 0;  // a device has no size to read to
  }
  return {std::make_unique<LinuxFile>(fd, parks ? &parked_ : nullptr, info), size};
}

OpenedFile LinuxFiles::open_replacing(const std::string& name) {
  const std::string target = final_target(name);
  struct stat info {};
  const bool exists = stat(target.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    return open_in_place(name, OpenHow::write_truncate);  // a device or FIFO: written directly
  }
  if (!exists && errno != ENOENT) {
    return open_in_place(name, OpenHow::write_truncate);  // fails as it always did
  }
  if (exists && access(target.c_str(), W_OK) != 0) {
    return {};  // a file made read-only stays as it is
  }
  const std::string folder = folder_of(target);
  // Taken first: what this run finds in the folder stays as it found it
  // until its outputs are in place.
  auto share = std::make_unique<FolderShare>(folder_locks_, folder.empty() ? "." : folder);
  remove_stale_partials(target, program_name_);
  std::string partial;
  int fd = -1;
  if (unnamed_temporaries_) {
    fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd == -1 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      return may_try_in_place(errno) ? open_in_place(name, OpenHow::write_truncate) : OpenedFile{};
    }
  }
  if (fd == -1) {
    // No unnamed temporaries here: a hidden one that says what it is.
    for (int attempt = 0; attempt < 100 && fd == -1; ++attempt) {
      partial = partial_name(target, program_name_);
      linux_terminal::note_partial_file(partial.c_str());
      fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
      if (fd == -1) {
        const int error = errno;
        linux_terminal::forget_partial_file();
        if (error != EEXIST) {
          return may_try_in_place(error) ? open_in_place(name, OpenHow::write_truncate) : OpenedFile{};
        }
      }
    }
    if (fd == -1) {
      return {};
    }
    fchmod(fd, 0666 & ~umask_);
  }
  if (exists) {
    // The new file takes the old one's permissions and, where allowed, its owner.
    if (info.st_uid != geteuid() || info.st_gid != getegid()) {
      // Refused unless root: the file then stays the runner's, as a plain write leaves it.
      [[maybe_unused]] const int owner_kept = fchown(fd, info.st_uid, info.st_gid);
    }
    fchmod(fd, info.st_mode & 07777);
    copy_access_list(target, fd);
  }
  return {std::make_unique<ReplacingFile>(fd, target, std::move(partial), program_name_, std::move(share)),
          0};
}

}  // namespace rt
