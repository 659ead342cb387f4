// Files on Linux. A regular file opened to be written from its start is
// written to a temporary in its folder and takes its name only when every byte
// is on the disk, so that a full disk, a signal, kill -9 or a second run at the
// same time never leaves half a file where the old one was.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

#include "runtime/platform/platform.hpp"

namespace rt {

// Writes everything, waiting out a full pipe. False when a byte could not be written.
bool write_fully(int fd, const char* data, std::size_t size);

class LinuxFiles {
 public:
  // The program's name goes into the name of a temporary that has to be named.
  explicit LinuxFiles(std::string program_name);
  LinuxFiles(const LinuxFiles&) = delete;
  LinuxFiles& operator=(const LinuxFiles&) = delete;
  ~LinuxFiles();

  OpenedFile open(const std::string& name, OpenHow how);

  // A FIFO closed before anything was read from it stays open here until it is
  // opened again, so that its writer is not cut off between a look at the file
  // and the reading of it.
  struct Parked {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
  };

  class FolderLocks;

 private:
  OpenedFile open_in_place(const std::string& name, OpenHow how);
  OpenedFile open_replacing(const std::string& name);
  OpenedFile take_parked(const std::string& name);

  std::string program_name_;
  mode_t umask_;
  bool unnamed_temporaries_;  // O_TMPFILE can be given a name through /proc
  Parked parked_;
  std::shared_ptr<FolderLocks> folder_locks_;
};

}  // namespace rt
