// Runs a built program in a folder with given bytes on standard input and
// captures standard output, standard error and how it ended.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
  std::string out;
  std::string err;
  int exit_code = -1;  // -1 when it did not exit normally
  int signal = 0;      // the signal that ended it, if one did
  bool timed_out = false;
};

enum class InputKind { file, pipe };

// arguments follow the program's name on its command line.
ProcessResult run_process(const std::filesystem::path& program, const std::filesystem::path& folder,
                          const std::string& input, InputKind kind = InputKind::file, int timeout_ms = 30000,
                          const std::vector<std::string>& arguments = {});

// ASAN_OPTIONS as this run of the tests has them, with the leak check off:
// it cannot work in a traced process, and the libraries SDL loads for a
// display keep some allocations to the end of the process.
std::string sanitizer_options_without_leak_check();

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& bytes) const;
  // The file's bytes, or "<missing>".
  std::string read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
