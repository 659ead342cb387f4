// An output file is replaced whole or not at all: kill -9 or an ending signal
// while it is written, a full disk, two runs at once, a link or a read-only
// file never leave half a file where the old one was, nor a stray temporary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "fixtures.hpp"
#include "process_runner.hpp"
#include "runtime/linux_platform.hpp"
#include "runtime/runtime.hpp"
#include "score_builder.hpp"

namespace {

using testing_support::kDeclaration;
using testing_support::TempFolder;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The header notepack writes for a melody: 64-character pieces and a closing one.
std::string header_of(const std::string& melody) {
  std::string header = kDeclaration;
  std::size_t at = 0;
  for (; melody.size() - at >= 64; at += 64) {
    header += "\"" + melody.substr(at, 64) + "\"\r\n";
  }
  return header + "\"" + melody.substr(at) + "\";\r\n";
}

// notepack's melody for notes alternating octaves 0 and 1, all sharps: six
// characters a note, the most one note can give.
std::string melody_of(int notes) {
  std::string melody;
  for (int i = 0; i < notes; ++i) {
    melody += i % 2 == 0 ? "o-2C+8" : "o-1C+8";
  }
  return melody;
}

std::string score_of(int notes) {
  std::string score;
  for (int i = 0; i < notes; ++i) {
    score += "<note>\n<pitch>\n>C\n<alter>1\n>" + std::to_string(i % 2) + "\n\n>1\n\n";
  }
  return score;
}

std::set<std::string> entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// What one killed run left: the output and any other file beside the score.
struct Left {
  bool old_bytes = false;
  bool new_bytes = false;
  std::set<std::string> strays;  // hidden temporaries that hold the whole new file
  std::set<std::string> others;  // anything else
};

Left look(const TempFolder& folder, const std::string& old_header, const std::string& new_header) {
  Left left;
  const std::string now = folder.read("tarvel.h");
  left.old_bytes = now == old_header;
  left.new_bytes = now == new_header;
  for (const auto& name : entries(folder.path())) {
    if (name == "tarvel.h" || name == "score.xml") {
      continue;
    }
    const bool partial = name.starts_with(".tarvel.h.") && name.find("-partial-") != std::string::npos;
    (partial && folder.read(name) == new_header ? left.strays : left.others).insert(name);
    fs::remove(folder.path() / name);
  }
  return left;
}

// Counts over many killed runs, and what they must show: every output old or
// new, never anything else beside it. kill -9 can land between the two system
// calls that name the finished temporary and move it over the output; the
// hidden whole file it then leaves is counted, and must stay that rare.
struct Tally {
  int runs = 0;
  int old_bytes = 0;
  int new_bytes = 0;
  int strays = 0;

  void add(const Left& left, const std::string& name) {
    ++runs;
    EXPECT_TRUE(left.old_bytes || left.new_bytes) << name << ": tarvel.h is neither the old nor the new file";
    EXPECT_TRUE(left.others.empty()) << name << ": " << *left.others.begin() << " left behind";
    old_bytes += left.old_bytes ? 1 : 0;
    new_bytes += left.new_bytes ? 1 : 0;
    strays += static_cast<int>(left.strays.size());
  }
  std::string summary() const {
    return std::to_string(runs) + " runs: " + std::to_string(old_bytes) + " old, " +
           std::to_string(new_bytes) + " new, " + std::to_string(strays) + " hidden whole temporaries";
  }
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A child that writes tarvel.h as notepack's last step does, through the
// runtime on the Linux platform, and tells through ready when it has opened it.
pid_t start_writing(const TempFolder& folder, const std::string& melody, int ready) {
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(folder.path().c_str()) != 0) {
      _exit(127);
    }
    rt::LinuxPlatform platform("notepack");
    const int code = rt::run_program(platform, rt::DataTables(), [&](rt::Runtime& runtime) {
      runtime.open_file("tarvel.h", rt::FileMode::output, rt::FileAccess::default_access, 2);
      (void)!write(ready, "w", 1);
      runtime.print_text(2, "const PROGMEM unsigned char notes[]=\\", true);
      std::size_t at = 0;
      for (; melody.size() - at >= 64; at += 64) {
        runtime.print_text(2, "\"" + melody.substr(at, 64) + "\"", true);
      }
      runtime.print_text(2, "\"" + melody.substr(at) + "\";", true);
      if (runtime.close_file(2) != 0) {
        runtime.end_program(1);
      }
    });
    _exit(code);
  }
  return child;
}

TEST(ReplacedWhole, KillOrAnEndingSignalWhileWritingTwoMegabytesLeavesTheOldOrTheNewFile) {
  TempFolder folder;
  const std::string melody = melody_of(350'000);  // 2.1 MB
  const std::string old_header = header_of("o3C4");
  const std::string new_header = header_of(melody);
  std::mt19937 random(20261208);

  // How long the writing takes here, from the open to the end of the process.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  double writing = 0;
  for (int i = 0; i < 3; ++i) {
    char byte = 0;
    const pid_t child = start_writing(folder, melody, ready[1]);
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    const auto opened = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(child, &status, 0);
    writing = std::max(writing, seconds_since(opened));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(folder.read("tarvel.h") == new_header);
  }

  for (const int signal_number : {SIGKILL, SIGTERM}) {
    Tally tally;
    std::uniform_real_distribution<double> moment(0, 1.2 * writing);
    for (int run = 0; run < 100; ++run) {
      const std::string name = "signal " + std::to_string(signal_number) + " run " + std::to_string(run);
      folder.write("tarvel.h", old_header);
      char byte = 0;
      const pid_t child = start_writing(folder, melody, ready[1]);
      ASSERT_EQ(read(ready[0], &byte, 1), 1);
      std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
      kill(child, signal_number);
      int status = 0;
      waitpid(child, &status, 0);
      EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == signal_number : WEXITSTATUS(status) == 0) << name;
      tally.add(look(folder, old_header, new_header), name);
      if (signal_number == SIGTERM) {
        EXPECT_EQ(tally.strays, 0) << name << ": an ending signal removes the temporary";
      }
    }
    std::cout << "signal " << signal_number << ": " << tally.summary() << " (writing takes " << writing
              << " s)\n";
    // The moments spread over the writing: some runs end before the new file is in place, some after.
    EXPECT_GT(tally.old_bytes, 0) << tally.summary();
    EXPECT_GT(tally.new_bytes, 0) << tally.summary();
    EXPECT_LE(tally.strays, 2) << tally.summary();
  }
  close(ready[0]);
  close(ready[1]);
}

// True once the child has ended; it is left to be waited for.
bool ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid;
}

// True once the process holds a temporary output in folder open.
bool writing_output(pid_t pid, const fs::path& folder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    const std::string target = fs::read_symlink(entry.path(), error).string();
    if (target.starts_with(folder.string() + "/") &&
        (target.ends_with("(deleted)") || target.find("-partial-") != std::string::npos)) {
      return true;
    }
  }
  return false;
}

pid_t start_notepack(const TempFolder& folder) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (chdir(folder.path().c_str()) != 0) {
      _exit(127);
    }
    execl(NOTEPACK_PROGRAM, NOTEPACK_PROGRAM, static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

TEST(ReplacedWhole, NotepackKilledWhileWritingLeavesTheOldOrTheNewFile) {
  // A melody of 120 kB: long enough to be caught in the writing, short enough
  // to scan quickly in every build.
  constexpr int kNotes = 20'000;
  TempFolder folder;
  folder.write("score.xml", score_of(kNotes));
  const std::string old_header = header_of("o3C4");
  const std::string new_header = header_of(melody_of(kNotes));
  std::mt19937 random(1208);

  double writing = 0;
  for (int i = 0; i < 2; ++i) {
    const pid_t child = start_notepack(folder);
    while (!writing_output(child, folder.path()) && !ended(child)) {
      std::this_thread::sleep_for(200us);
    }
    const auto opened = std::chrono::steady_clock::now();
    waitpid(child, nullptr, 0);
    writing = std::max(writing, seconds_since(opened));
    ASSERT_TRUE(folder.read("tarvel.h") == new_header);
  }
  for (const int signal_number : {SIGKILL, SIGTERM}) {
    Tally tally;
    std::uniform_real_distribution<double> moment(0, 1.2 * writing);
    for (int run = 0; run < 10; ++run) {
      const std::string name = "signal " + std::to_string(signal_number) + " run " + std::to_string(run);
      folder.write("tarvel.h", old_header);
      const pid_t child = start_notepack(folder);
      while (!writing_output(child, folder.path()) && !ended(child)) {
        std::this_thread::sleep_for(200us);
      }
      std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
      kill(child, signal_number);
      int status = 0;
      waitpid(child, &status, 0);
      EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == signal_number : WEXITSTATUS(status) == 0) << name;
      tally.add(look(folder, old_header, new_header), name);
    }
    std::cout << "notepack, signal " << signal_number << ": " << tally.summary() << "\n";
    EXPECT_LE(tally.strays, 1) << tally.summary();
  }
}

TEST(ReplacedWhole, TwoRunsAtOnceLeaveOneWholeFile) {
  TempFolder first;
  TempFolder second;
  first.write("score.xml", score_of(3000));
  second.write("score.xml", score_of(3001));
  const std::string headers[] = {header_of(melody_of(3000)), header_of(melody_of(3001))};
  // Both write the same file, reached through a link from the second folder.
  fs::create_symlink(first.path() / "tarvel.h", second.path() / "tarvel.h");
  for (int round = 0; round < 10; ++round) {
    const pid_t a = start_notepack(first);
    const pid_t b = start_notepack(second);
    waitpid(a, nullptr, 0);
    waitpid(b, nullptr, 0);
    const std::string now = first.read("tarvel.h");
    EXPECT_TRUE(now == headers[0] || now == headers[1]) << "round " << round;
    EXPECT_TRUE(fs::is_symlink(second.path() / "tarvel.h")) << "round " << round;
    EXPECT_EQ(entries(first.path()), (std::set<std::string>{"score.xml", "tarvel.h"})) << "round " << round;
  }
}

TEST(ReplacedWhole, AReplacedFileKeepsItsPermissions) {
  TempFolder folder;
  folder.write("score.xml", score_of(1));
  folder.write("tarvel.h", "old");
  fs::permissions(folder.path() / "tarvel.h",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const auto result = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
  EXPECT_EQ(result.out, "noteC01\r\nALT !\r\nok\r\n");
  EXPECT_EQ(folder.read("tarvel.h"), header_of(melody_of(1)));
  EXPECT_EQ(fs::status(folder.path() / "tarvel.h").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(ReplacedWhole, AReadOnlyFileStaysAsItIs) {
  // In a folder anybody may write in, as a user for whom the file is read-only
  // (root writes any file, so it runs the program as nobody).
  TempFolder folder;
  folder.write("score.xml", score_of(1));
  folder.write("tarvel.h", "old");
  fs::permissions(folder.path(), fs::perms::all);
  fs::permissions(folder.path() / "tarvel.h",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    constexpr uid_t kNobody = 65534;
    if (chdir(folder.path().c_str()) != 0 ||
        (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))) {
      _exit(127);
    }
    execl(NOTEPACK_PROGRAM, NOTEPACK_PROGRAM, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(folder.read("tarvel.h"), "old");
  EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"score.xml", "tarvel.h"}));
}

// A small file system of its own, mounted for one test: root only.
class SmallDisk {
 public:
  SmallDisk() {
    if (geteuid() != 0) {
      why_not_ = "mounting a small tmpfs needs root";
      return;
    }
    if (mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, "size=256k") != 0) {
      why_not_ = std::string("mounting a small tmpfs failed: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  ~SmallDisk() {
    if (mounted_) {
      umount2(folder_.path().c_str(), MNT_DETACH);
    }
  }
  const std::string& why_not() const { return why_not_; }
  const TempFolder& folder() const { return folder_; }
  // Takes up every byte that is left.
  void fill() const {
    std::ofstream filler(folder_.path() / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }

 private:
  TempFolder folder_;
  bool mounted_ = false;
  std::string why_not_;
};

TEST(ReplacedWhole, AFullDiskKeepsTheOldOutputs) {
  const SmallDisk disk;
  if (!disk.why_not().empty()) {
    GTEST_SKIP() << disk.why_not();
  }
  const TempFolder& folder = disk.folder();
  folder.write("score.xml", testing_support::Score::worked_example().text());
  folder.write("score.h", "old header");
  folder.write("score.bas", "old program");
  folder.write("tarvel.h", "old tarvel");
  disk.fill();

  const auto arvonic = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "\n\n");
  EXPECT_TRUE(arvonic.out.ends_with(
      "processing...\r\nscore.h - file not written\r\nscore.bas - file not written\r\n"))
      << arvonic.out;
  const auto notepack = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
  EXPECT_TRUE(notepack.out.ends_with("tarvel.h - file not written\r\n")) << notepack.out;
  EXPECT_EQ(folder.read("score.h"), "old header");
  EXPECT_EQ(folder.read("score.bas"), "old program");
  EXPECT_EQ(folder.read("tarvel.h"), "old tarvel");
  EXPECT_EQ(entries(folder.path()),
            (std::set<std::string>{"filler", "score.xml", "score.h", "score.bas", "tarvel.h"}));
}

}  // namespace
