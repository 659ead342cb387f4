#include "process_runner.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "arvonic-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder");
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ignored);
  std::filesystem::remove_all(path_, ignored);
}

void TempFolder::write(const std::string& name, const std::string& bytes) const {
  std::ofstream file(path_ / name, std::ios::binary | std::ios::trunc);
  file << bytes;
}

std::string TempFolder::read(const std::string& name) const {
  std::ifstream file(path_ / name, std::ios::binary);
  if (!file) {
    return "<missing>";
  }
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

namespace {

std::string slurp(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

}  // namespace

ProcessResult run_process(const std::filesystem::path& program, const std::filesystem::path& folder,
                          const std::string& input, InputKind kind, int timeout_ms,
                          const std::vector<std::string>& arguments) {
  // Output goes to files beside the folder, so that nothing the program writes
  // can block it and the folder holds only what the program made.
  TempFolder capture;
  const auto out_path = capture.path() / "stdout";
  const auto err_path = capture.path() / "stderr";
  const auto in_path = capture.path() / "stdin";
  {
    std::ofstream in(in_path, std::ios::binary);
    in << input;
  }
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  int feed[2] = {-1, -1};
  if (kind == InputKind::pipe && pipe(feed) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t child = fork();
  if (child == 0) {
    const int in = kind == InputKind::pipe ? feed[0] : open(in_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || chdir(folder.c_str()) != 0) {
      _exit(127);
    }
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    // No desktop: the window is shown as a stream, the same on every machine.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (kind == InputKind::pipe) {
      close(feed[1]);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (kind == InputKind::pipe) {
    close(feed[0]);
    std::size_t written = 0;
    signal(SIGPIPE, SIG_IGN);
    while (written < input.size()) {
      const ssize_t n = ::write(feed[1], input.data() + written, input.size() - written);
      if (n <= 0) {
        break;
      }
      written += static_cast<std::size_t>(n);
    }
    close(feed[1]);
  }
  ProcessResult result;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  result.out = slurp(out_path);
  result.err = slurp(err_path);
  return result;
}

std::string sanitizer_options_without_leak_check() {
  const char* options = std::getenv("ASAN_OPTIONS");
  return std::string(options != nullptr ? options : "") + ":detect_leaks=0";
}

}  // namespace testing_support
