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
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "fixtures.hpp"
#include "process_runner.hpp"
#include "runtime/platform/linux/linux_platform.hpp"
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
      runtime.end_program(runtime.close_file(2));
    });
    _exit(code);
  }
  return child;
}

TEST(ReplacedWhole, KillOrAnEndingSignalWhileWritingTwoMegabytesLeavesTheOldOrTheNewFile) {
  TempFolder folder;
  const std::string old_header = header_of("o3C4");
  const std::string melody = melody_of(350'000);  // 2.1 MB
  const std::string new_header = header_of(melody);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  char byte = 0;
  pid_t child = -1;
  int status = 0;
  // How long the writing takes here, from the open to the end of the process.
  std::chrono::duration<double> writing{0};
  for (int run = 0; run < 2; ++run) {
    child = start_writing(folder, melody, ready[1]);
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    const auto opened = std::chrono::steady_clock::now();
    waitpid(child, &status, 0);
    writing = std::max(writing, std::chrono::duration<double>(std::chrono::steady_clock::now() - opened));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && folder.read("tarvel.h") == new_header);
  }

  std::mt19937 random(20261208);
  std::uniform_real_distribution<double> moment(0, 1.5 * writing.count());
  for (const int signal_number : {SIGKILL, SIGTERM}) {
    int olds = 0;
    int news = 0;
    int strays = 0;
    for (int run = 0; run < 100; ++run) {
      const std::string name = "signal " + std::to_string(signal_number) + " run " + std::to_string(run);
      folder.write("tarvel.h", old_header);
      child = start_writing(folder, melody, ready[1]);
      ASSERT_EQ(read(ready[0], &byte, 1), 1);
      std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
      kill(child, signal_number);
      waitpid(child, &status, 0);
      EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == signal_number : WEXITSTATUS(status) == 0) << name;
      const std::string now = folder.read("tarvel.h");
      EXPECT_TRUE(now == old_header || now == new_header) << name << ": tarvel.h is neither old nor new";
      olds += now == old_header ? 1 : 0;
      news += now == new_header ? 1 : 0;
      // kill -9 can land between the two system calls that name the finished
      // temporary and move it over the output: a hidden whole file stays then,
      // until the next run that writes tarvel.h takes it away.
      int hidden = 0;
      for (const auto& left : entries(folder.path())) {
        const bool whole = signal_number == SIGKILL && left.starts_with(".tarvel.h.notepack-partial-") &&
                           folder.read(left) == new_header;
        EXPECT_TRUE(left == "tarvel.h" || whole) << name << ": " << left << " left behind";
        hidden += whole ? 1 : 0;
        if (left != "tarvel.h" && !whole) {
          fs::remove(folder.path() / left);
        }
      }
      EXPECT_LE(hidden, 1) << name << ": an earlier run's temporary was not taken away";
      strays += hidden;
    }
    const std::string tally = "signal " + std::to_string(signal_number) + ": " + std::to_string(olds) +
                              " old, " + std::to_string(news) + " new, " + std::to_string(strays) +
                              " hidden whole temporaries";
    std::cout << tally << " (the writing takes " << writing.count() << " s)\n";
    // The moments spread over the writing: some runs end before the new file is in place, some after.
    EXPECT_GT(olds, 0) << tally;
    EXPECT_GT(news, 0) << tally;
    EXPECT_LE(strays, 2) << tally;
  }
  close(ready[0]);
  close(ready[1]);
}

pid_t start_notepack(const TempFolder& folder, bool as_nobody = false) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    constexpr uid_t kNobody = 65534;
    if (chdir(folder.path().c_str()) != 0 || (as_nobody && (setgid(kNobody) != 0 || setuid(kNobody) != 0))) {
      _exit(127);
    }
    execl(NOTEPACK_PROGRAM, NOTEPACK_PROGRAM, static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

int wait_exit(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ReplacedWhole, TwoRunsAtOnceThroughALinkLeaveOneWholeFile) {
  TempFolder first;
  TempFolder second;
  first.write("score.xml", score_of(3000));
  second.write("score.xml", score_of(3001));
  const std::string headers[] = {header_of(melody_of(3000)), header_of(melody_of(3001))};
  fs::create_symlink(first.path() / "tarvel.h", second.path() / "tarvel.h");
  for (int round = 0; round < 10; ++round) {
    const pid_t a = start_notepack(first);
    const pid_t b = start_notepack(second);
    EXPECT_EQ(wait_exit(a) + wait_exit(b), 0);
    const std::string now = first.read("tarvel.h");
    EXPECT_TRUE(now == headers[0] || now == headers[1]) << "round " << round;
    EXPECT_TRUE(fs::is_symlink(second.path() / "tarvel.h")) << "round " << round;
    EXPECT_EQ(entries(first.path()), (std::set<std::string>{"score.xml", "tarvel.h"})) << "round " << round;
  }
}

TEST(ReplacedWhole, TwoRunsAtOnceLeaveAHeaderAndProgramFileOfOneRun) {
  // Two scores of different melodies, converted at once into the same pair of
  // names: each header must stand beside the program file of its own run.
  TempFolder folder;
  std::string scores[2];
  for (int which = 0; which < 2; ++which) {
    testing_support::Score score("2");
    for (int note = 0; note < 200; ++note) {
      score.note(which == 0 ? "C" : "D", "4", "2");
    }
    scores[which] = score.text();
    folder.write("tune" + std::to_string(which) + ".xml", scores[which]);
  }
  int mixed = 0;
  for (int round = 0; round < 60; ++round) {
    testing_support::ProcessResult runs[2];
    std::thread other(
        [&] { runs[1] = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "tune1\nout\n"); });
    runs[0] = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "tune0\nout\n");
    other.join();
    ASSERT_EQ(runs[0].exit_code + runs[1].exit_code, 0) << runs[0].out << runs[1].out;
    const std::string header = testing_support::header_string(folder.read("out.h"));
    const std::string program = folder.read("out.bas");
    // Both files hold the one melody of one run: all Cs or all Ds.
    const char note = header.find('C') != std::string::npos ? 'C' : 'D';
    mixed += program.find(note == 'C' ? 'D' : 'C') != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(mixed, 0);
}

// A link whose target is relative names a file beside the link, not beside
// the program: that file is replaced, the link stays a link.
TEST(ReplacedWhole, ALinkWithARelativeTargetReplacesTheFileItNames) {
  TempFolder folder;
  folder.write("tune.xml",
               "<score-partwise><part-list><score-part id=\"P1\"/></part-list><part id=\"P1\">"
               "<measure number=\"1\"><attributes><divisions>1</divisions></attributes><note><pitch>"
               "<step>C</step><octave>4</octave></pitch><duration>4</duration></note></measure></part>"
               "</score-partwise>");
  fs::create_directory(folder.path() / "out");
  folder.write("out/real.h", "old");
  fs::create_symlink("real.h", folder.path() / "out" / "tune.h");
  const auto result =
      testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "", testing_support::InputKind::file,
                                   30000, {"-q", "-o", "out/tune", "tune.xml"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_TRUE(fs::is_symlink(folder.path() / "out" / "tune.h"));
  EXPECT_EQ(folder.read("out/real.h"), "const PROGMEM unsigned char notes[]=\\\r\n\"o3C1\";\r\n");
  EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"out", "tune.xml"}));
}

bool strace_missing() {
  return std::system("command -v strace > /dev/null 2>&1") != 0;
}

// The exit code of notepack run in folder under strace with these options.
int traced_notepack(const TempFolder& folder, const std::string& options) {
  const std::string command = "cd '" + folder.path().string() + "' && ASAN_OPTIONS='" +
                              testing_support::sanitizer_options_without_leak_check() + "' strace " +
                              options + " '" + NOTEPACK_PROGRAM + "' < /dev/null > /dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The new content is on the disk before it takes the old file's name: a
// crash after the rename can leave no empty or half file.
TEST(ReplacedWhole, TheNewFileIsSyncedBeforeItTakesTheName) {
  if (strace_missing()) {
    GTEST_SKIP() << "strace is missing (apt-get install strace)";
  }
  TempFolder folder;
  folder.write("score.xml", score_of(5));
  folder.write("tarvel.h", "old");
  const std::string calls_asked = "-e trace=fsync,fdatasync,rename,renameat,renameat2,linkat";
  ASSERT_EQ(traced_notepack(folder, "-f -o calls.txt " + calls_asked), 0);
  const std::string calls = folder.read("calls.txt");
  const auto synced = calls.find("sync(");
  auto named = calls.find("rename");
  named = std::min(named, calls.find("linkat("));
  ASSERT_NE(synced, std::string::npos) << calls;
  ASSERT_NE(named, std::string::npos) << calls;
  EXPECT_LT(synced, named) << calls;
  EXPECT_EQ(folder.read("tarvel.h"), header_of(melody_of(5)));
}

// Where the file system or the kernel has no unnamed temporaries, the new file
// is written under a hidden name of its own, which then takes the old name.
TEST(ReplacedWhole, WithoutUnnamedTemporariesAHiddenNamedOneTakesThePlace) {
  if (strace_missing()) {
    GTEST_SKIP() << "strace is missing (apt-get install strace)";
  }
  // What each kind of kernel and file system answers to O_TMPFILE.
  for (const std::string refusal : {"EOPNOTSUPP", "EISDIR", "EINVAL"}) {
    SCOPED_TRACE(refusal);
    TempFolder folder;
    folder.write("score.xml", score_of(3));
    folder.write("tarvel.h", "old");
    // Which of the run's opens asks for the unnamed temporary.
    ASSERT_EQ(traced_notepack(folder, "-o opens.txt -e trace=openat -e signal=none"), 0);
    int opens = 0;
    bool found = false;
    std::istringstream lines(folder.read("opens.txt"));
    for (std::string line; !found && std::getline(lines, line);) {
      opens += line.starts_with("openat(");
      found = line.find("O_TMPFILE") != std::string::npos;
    }
    ASSERT_TRUE(found) << folder.read("opens.txt");
    folder.write("tarvel.h", "old");
    const std::string inject = "-e inject=openat:error=" + refusal + ":when=" + std::to_string(opens);
    ASSERT_EQ(traced_notepack(
                  folder, "-o calls.txt -e trace=openat,rename,renameat,renameat2 -e signal=none " + inject),
              0);
    const std::string calls = folder.read("calls.txt");
    std::istringstream traced(calls);
    bool refused = false;
    bool renamed = false;
    for (std::string line; std::getline(traced, line);) {
      refused |= line.find("O_TMPFILE") != std::string::npos && line.find(refusal + " ") != std::string::npos;
      renamed |=
          line.starts_with("rename") && line.find("\".tarvel.h.notepack-partial-") != std::string::npos;
    }
    EXPECT_TRUE(refused) << calls;
    EXPECT_TRUE(renamed) << calls;
    EXPECT_EQ(folder.read("tarvel.h"), header_of(melody_of(3)));
    EXPECT_EQ(entries(folder.path()),
              (std::set<std::string>{"calls.txt", "opens.txt", "score.xml", "tarvel.h"}));
  }
}

TEST(ReplacedWhole, TheNextRunTakesAwayTheTemporaryOfAKilledOneAndNoOther) {
  const pid_t gone = fork();
  if (gone == 0) {
    _exit(0);
  }
  wait_exit(gone);
  TempFolder folder;
  folder.write("score.xml", score_of(1));
  const std::string stale = ".tarvel.h.notepack-partial-" + std::to_string(gone) + "-AbCdEf";
  const std::string running = ".tarvel.h.notepack-partial-" + std::to_string(getpid()) + "-AbCdEf";
  folder.write(stale, "whole");
  folder.write(running, "being written");
  EXPECT_EQ(wait_exit(start_notepack(folder)), 0);
  EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"score.xml", "tarvel.h", running}));
}

TEST(ReplacedWhole, AReplacedFileKeepsItsPermissionsAndAReadOnlyOneStays) {
  TempFolder folder;
  folder.write("score.xml", score_of(1));
  folder.write("tarvel.h", "old");
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(folder.path() / "tarvel.h", mode);
  EXPECT_EQ(wait_exit(start_notepack(folder)), 0);
  EXPECT_EQ(folder.read("tarvel.h"), header_of(melody_of(1)));
  EXPECT_EQ(fs::status(folder.path() / "tarvel.h").permissions() & fs::perms::all, mode);

  // Read-only for its user, in a folder anybody may write in (root writes any
  // file, so then the program runs as nobody).
  folder.write("tarvel.h", "old");
  fs::permissions(folder.path(), fs::perms::all);
  fs::permissions(folder.path() / "tarvel.h", fs::perms::owner_read | fs::perms::others_read);
  EXPECT_EQ(wait_exit(start_notepack(folder, geteuid() == 0)), 1);
  EXPECT_EQ(folder.read("tarvel.h"), "old");
  EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"score.xml", "tarvel.h"}));
}

TEST(ReplacedWhole, AnotherUsersWritableFileInAStickyFolderIsWrittenInPlace) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root, to run the program as another user than the file's owner";
  }
  // As in /tmp: anybody may create files, but only a file's owner may replace
  // it; a file its owner left writable for all can still be written.
  TempFolder folder;
  folder.write("score.xml", score_of(2));
  folder.write("tarvel.h", "old");
  fs::permissions(folder.path() / "tarvel.h",
                  fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec & ~fs::perms::others_exec);
  fs::permissions(folder.path(), fs::perms::all | fs::perms::sticky_bit);
  EXPECT_EQ(wait_exit(start_notepack(folder, true)), 0);
  EXPECT_EQ(folder.read("tarvel.h"), header_of(melody_of(2)));
  struct stat info {};
  ASSERT_EQ(stat((folder.path() / "tarvel.h").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0U);  // still the owner's own file
  EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"score.xml", "tarvel.h"}));
}

TEST(ReplacedWhole, AFullDiskKeepsTheOldOutputs) {
  TempFolder folder;
  if (geteuid() != 0 || mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "a small tmpfs of its own needs root and the right to mount: " << std::strerror(errno);
  }
  struct Unmount {
    const fs::path& path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } const unmount{folder.path()};
  folder.write("score.xml", testing_support::Score::worked_example().text());
  for (const char* output : {"score.h", "score.bas", "tarvel.h"}) {
    folder.write(output, "old");
  }
  std::ofstream filler(folder.path() / "filler", std::ios::binary);
  const std::string block(4096, 'f');
  while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
  }

  const auto arvonic = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "\n\n");
  EXPECT_TRUE(arvonic.out.ends_with(
      "processing...\r\nscore.h - file not written\r\nscore.bas - file not written\r\n"))
      << arvonic.out;
  const auto notepack = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
  EXPECT_TRUE(notepack.out.ends_with("tarvel.h - file not written\r\n")) << notepack.out;
  for (const char* output : {"score.h", "score.bas", "tarvel.h"}) {
    EXPECT_EQ(folder.read(output), "old") << output;
  }
  EXPECT_EQ(entries(folder.path()),
            (std::set<std::string>{"filler", "score.xml", "score.h", "score.bas", "tarvel.h"}));
}

}  // namespace
