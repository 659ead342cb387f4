// The built arvonic, run in a temporary folder with its keys on standard input
// (a file and a pipe), compared byte for byte: stdout, stderr, exit code, files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "fixtures.hpp"
#include "process_runner.hpp"
#include "score_builder.hpp"

namespace {

using testing_support::kDeclaration;

using testing_support::InputKind;
using testing_support::kArvonicBanner;
using testing_support::kDefaultNames;
using testing_support::Score;
using testing_support::TempFolder;
using Files = std::map<std::string, std::string>;

const std::string kFolder = "<folder>";

Files files_in(const std::filesystem::path& folder) {
  Files files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory()) {
      files[name] = kFolder;
    } else {
      std::ifstream file(entry.path(), std::ios::binary);
      files[name] = std::string(std::istreambuf_iterator<char>(file), {});
    }
  }
  return files;
}

std::string example_two() {
  Score score("4");
  for (int group = 0; group < 6; ++group) {
    for (const char* step : {"C", "D", "E", "F", "G", "A", "B"}) {
      score.note(step, "4", "1");
    }
    score.note("C", "5", "1");
  }
  return score.rest("4").note("C", "4", "8").close().text();
}

std::string sixteenths(int notes) {
  Score score("4");
  for (int i = 0; i < notes; ++i) {
    score.note("C", "4", "1");
  }
  return score.close().text();
}

std::string c_lines(int lines) {
  std::string header;
  header += "\"L16o3" + std::string(59, 'C') + "\"\r\n";
  for (int i = 1; i < lines; ++i) {
    header += "\"" + std::string(64, 'C') + "\"\r\n";
  }
  return header;
}

struct Case {
  const char* name;
  Files before;
  std::string keys;
  std::string out;  // after the banner
  std::string err;
  int exit_code;
  Files after;  // every file in the folder afterwards; kUnchanged: exactly those before
};

// An end that must touch no file: the folder afterwards is the folder before.
const Files kUnchanged = {{"<unchanged>", ""}};

std::string program_file(const std::string& header_lines) {
  std::string program;
  for (std::size_t at = 0; at < header_lines.size();) {
    const auto end = header_lines.find("\r\n", at);
    std::string line = header_lines.substr(at, end - at);
    if (line.ends_with(";")) {
      line.pop_back();
    }
    program += "PLAY " + line + "\r\n";
    at = end + 2;
  }
  return program;
}

TEST(ArvonicProgram, RunsEveryCaseThroughFileAndPipe) {
  const std::string one = Score::worked_example().text();
  const std::string two = example_two();
  const std::string line_two_first =
      "\"L16o3CDEFGABo4Co3CDEFGABo4Co3CDEFGABo4Co3CDEFGABo4Co3CDEFGABo4Co3C\"\r\n";
  const std::string full_101 = c_lines(101);
  const std::string full_101_header = full_101.substr(0, full_101.size() - 2) + ";\r\n";
  const std::string bounds = "\r\nAborting due to runtime error 6 (out of bounds array access) at line ";
  const std::string ok = kDefaultNames + "processing...\r\nok\r\n";
  const Case cases[] = {
      {"first worked example",
       {{"score.xml", one}},
       "\n\n",
       ok,
       "",
       0,
       {{"score.xml", one},
        {"score.h", kDeclaration + "\"L8o3C4D+o2B4.p4o4E-2\";\r\n"},
        {"score.bas", "PLAY \"L8o3C4D+o2B4.p4o4E-2\"\r\n"}}},
      {"second worked example",
       {{"score.xml", two}},
       "\n\n",
       ok,
       "",
       0,
       {{"score.xml", two},
        {"score.h", kDeclaration + line_two_first + "\"DEFGABo4Cp4o3C2\";\r\n"},
        {"score.bas", "PLAY " + line_two_first + "PLAY \"DEFGABo4Cp4o3C2\"\r\n"}}},
      {"CR LF score",
       {{"score.xml", Score("2").note("C", "4", "2").text("\r\n")}},
       "\n\n",
       ok,
       "",
       0,
       {{"score.xml", Score("2").note("C", "4", "2").text("\r\n")},
        {"score.h", kDeclaration + "\"L8o3C4\";\r\n"},
        {"score.bas", "PLAY \"L8o3C4\"\r\n"}}},
      {"last line without line feed",
       {{"score.xml",
         "a\nMusicXML 4.0\n<divisions>2\n<note>\n<pitch>\n<step>C\n<octave>4\n</pitch>\n<duration>2"}},
       "\n\n",
       ok,
       "",
       0,
       {{"score.xml",
         "a\nMusicXML 4.0\n<divisions>2\n<note>\n<pitch>\n<step>C\n<octave>4\n</pitch>\n<duration>2"},
        {"score.h", kDeclaration + "\"L8\";\r\n"},
        {"score.bas", "PLAY \"L8\"\r\n"}}},
      {"empty score file",
       {{"score.xml", ""}},
       "\n\n",
       kDefaultNames + "MusicXML 4.0 data file expected\r\n",
       "",
       1,
       kUnchanged},
      {"exactly 101 lines",
       {{"score.xml", sixteenths(59 + 100 * 64)}},
       "\n\n",
       ok,
       "",
       0,
       {{"score.xml", sixteenths(59 + 100 * 64)},
        {"score.h", kDeclaration + full_101_header},
        {"score.bas", program_file(full_101)}}},
      {"102nd line while scanning",
       {{"score.xml", sixteenths(59 + 101 * 64)}},
       "\n\n",
       kDefaultNames + "processing...\r\n",
       bounds + "106 of arvonic()\r\n\r\n",
       6,
       kUnchanged},
      {"102nd line at the final store",
       {{"score.xml", sixteenths(59 + 100 * 64 + 1)}, {"score.h", "old"}},
       "\n\n",
       kDefaultNames + "processing...\r\n",
       bounds + "129 of arvonic()\r\n\r\n",
       6,
       kUnchanged},
      {"missing score", {}, "\n\n", kDefaultNames + "score.xml - file not found\r\n", "", 1, kUnchanged},
      {"an extension is appended anyway",
       {{"tune.xml", one}},
       "tune.xml\n\n",
       " input file [score]:tune.xml\r\noutput file [score]:\r\ntune.xml.xml - file not found\r\n",
       "",
       1,
       kUnchanged},
      {"names with blanks",
       {{"my tune.xml", one}},
       "my tune\nmy out\n",
       " input file [score]:my tune\r\noutput file [score]:my out\r\nprocessing...\r\nok\r\n",
       "",
       0,
       {{"my tune.xml", one},
        {"my out.h", kDeclaration + "\"L8o3C4D+o2B4.p4o4E-2\";\r\n"},
        {"my out.bas", "PLAY \"L8o3C4D+o2B4.p4o4E-2\"\r\n"}}},
      {"old MusicXML",
       {{"score.xml", Score("2", "3.1").text()}},
       "\n\n",
       kDefaultNames + "MusicXML 4.0 data file expected\r\n",
       "",
       1,
       kUnchanged},
      {"no divisions",
       {{"score.xml", Score::bare().line("<part>").text()}},
       "\n\n",
       kDefaultNames + "processing...\r\n<divisions> not found\r\n",
       "",
       1,
       kUnchanged},
      {"divisions 8",
       {{"score.xml", Score("8").text()}},
       "\n\n",
       kDefaultNames +
           "processing...\r\nError in line  5:        <divisions>8</divisions>\r\n2 or 4 expected\r\n",
       "",
       1,
       kUnchanged},
      {"missing step",
       {{"score.xml", Score("2").line("<note>").line("<pitch>").line("<x>").text()}},
       "\n\n",
       kDefaultNames + "processing...\r\nError in line  9:<x>\r\n<step> expected\r\n",
       "",
       1,
       kUnchanged},
      {"missing octave",
       {{"score.xml", Score("2").line("<note>").line("<pitch>").line("<step>C").line("<x>").text()}},
       "\n\n",
       kDefaultNames + "processing...\r\nError in line  10:<x>\r\n<octave> expected\r\n",
       "",
       1,
       kUnchanged},
      {"missing duration",
       {{"score.xml", Score("2")
                          .line("<note>")
                          .line("<pitch>")
                          .line("<step>C")
                          .line("<octave>4")
                          .line("</pitch>")
                          .line("<x>")
                          .text()}},
       "\n\n",
       kDefaultNames + "processing...\r\nError in line  12:<x>\r\n<duration> expected\r\n",
       "",
       1,
       kUnchanged},
      {"invalid length",
       {{"score.xml", Score("2").note("C", "4", "5").text()}, {"score.h", "old"}},
       "\n\n",
       kDefaultNames +
           "processing...\r\nError in line  12:        <duration>5</duration>\r\nInvalid len:5\r\n",
       "",
       1,
       kUnchanged},
      {"Esc typed ahead",
       {{"score.xml", one}, {"score.h", "old"}},
       "\n\n\x1b",
       kDefaultNames,
       "",
       0,
       kUnchanged},
      {"header name is a folder",
       {{"score.xml", one}, {"score.h", kFolder}},
       "\n\n",
       kDefaultNames + "processing...\r\nscore.h - file not written\r\n",
       "",
       1,
       {{"score.xml", one}, {"score.h", kFolder}, {"score.bas", "PLAY \"L8o3C4D+o2B4.p4o4E-2\"\r\n"}}},
      {"output into a missing folder",
       {{"score.xml", one}},
       "\nnowhere/tune\n",
       " input file [score]:\r\noutput file [score]:nowhere/tune\r\nprocessing...\r\n"
       "nowhere/tune.h - file not written\r\nnowhere/tune.bas - file not written\r\n",
       "",
       1,
       kUnchanged},
  };
  for (const InputKind kind : {InputKind::file, InputKind::pipe}) {
    for (const auto& c : cases) {
      const std::string name = std::string(c.name) + (kind == InputKind::pipe ? " (pipe)" : " (file)");
      TempFolder folder;
      for (const auto& [file, bytes] : c.before) {
        if (bytes == kFolder) {
          std::filesystem::create_directory(folder.path() / file);
        } else {
          folder.write(file, bytes);
        }
      }
      const auto result = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), c.keys, kind);
      // A run that ends otherwise than expected (a crash, a sanitizer's abort, a
      // hang) stops the table here instead of repeating in every case.
      ASSERT_FALSE(result.timed_out) << name;
      ASSERT_EQ(result.exit_code, c.exit_code) << name << ", signal " << result.signal << ":\n" << result.err;
      EXPECT_EQ(result.out, kArvonicBanner + c.out) << name;
      EXPECT_EQ(result.err, c.err) << name;
      EXPECT_EQ(files_in(folder.path()), c.after == kUnchanged ? c.before : c.after) << name;
    }
  }
}

TEST(ArvonicProgram, AFullDiskOrAReadOnlyFileIsNotReportedAsWritten) {
  TempFolder folder;
  folder.write("score.xml", Score::worked_example().text());
  std::filesystem::create_symlink("/dev/full", folder.path() / "full.bas");
  auto result = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "\nfull\n");
  EXPECT_EQ(result.out, kArvonicBanner +
                            " input file [score]:\r\noutput file [score]:full\r\nprocessing...\r\n"
                            "full.bas - file not written\r\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(folder.read("full.h"), kDeclaration + "\"L8o3C4D+o2B4.p4o4E-2\";\r\n");

  if (geteuid() == 0) {
    GTEST_SKIP() << "running as root: a read-only file can still be written";
  }
  folder.write("locked.h", "old");
  std::filesystem::permissions(folder.path() / "locked.h", std::filesystem::perms::owner_read);
  result = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "\nlocked\n");
  EXPECT_TRUE(result.out.ends_with("processing...\r\nlocked.h - file not written\r\n")) << result.out;
  EXPECT_EQ(folder.read("locked.h"), "old");
}

TEST(ArvonicProgram, ConvertsOrRefusesEveryCorpusScoreWithoutACrash) {
  const std::filesystem::path corpus = CORPUS_FOLDER;
  if (!std::filesystem::is_directory(corpus)) {
    GTEST_SKIP() << "no corpus folder at " << corpus;
  }
  int scores = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".xml") {
      continue;
    }
    ++scores;
    TempFolder folder;
    std::filesystem::copy_file(entry.path(), folder.path() / "score.xml");
    const auto result = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "\n\n");
    const std::string name = entry.path().filename().string();
    ASSERT_FALSE(result.timed_out) << name;
    EXPECT_EQ(result.signal, 0) << name;
    EXPECT_TRUE(result.exit_code == 0 || result.exit_code == 1 || result.exit_code == 6) << name;
    if (result.exit_code != 6) {
      EXPECT_EQ(result.err, "") << name;
      // Exit 0 exactly when the pair was written.
      const bool written = result.out.ends_with("\r\nok\r\n");
      EXPECT_EQ(result.exit_code == 0, written) << name << result.out;
      EXPECT_EQ(folder.read("score.h") != "<missing>", written) << name << result.out;
    }
  }
  EXPECT_GT(scores, 0);
}

}  // namespace
