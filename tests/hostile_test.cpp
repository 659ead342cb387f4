// Scores and names that no export would give, fed to the built programs: every
// run must end as the programs choose, and an error end touches no file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>

#include "fixtures.hpp"
#include "process_runner.hpp"

namespace {

using testing_support::header_string;
using testing_support::kDeclaration;
using testing_support::plain_note;
using testing_support::ProcessResult;
using testing_support::TempFolder;

const std::string kHeader =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE score-partwise PUBLIC \"MusicXML 4.0\">\n<score-partwise>\n";

const std::string kScore =
    kHeader + "<divisions>2</divisions>\n" + plain_note("C", "4", "2", "") + plain_note("D", "4", "1", "1") +
    "<note>\n<rest/>\n<duration>2</duration>\n<voice>\n</note>\n" + plain_note("E", "5", "3", "-1") +
    plain_note("G", "3", "8", "") + "</score-partwise>\n";

// What every run must show, whatever it was fed.
void expect_a_chosen_end(const ProcessResult& result, const std::string& name) {
  EXPECT_FALSE(result.timed_out) << name;
  EXPECT_EQ(result.signal, 0) << name;
  // 0 written, 1 a message about the score, 6 the melody too long.
  EXPECT_TRUE(result.exit_code == 0 || result.exit_code == 1 || result.exit_code == 6)
      << name << ": " << result.exit_code;
  EXPECT_EQ(result.err.empty(), result.exit_code != 6) << name;
}

ProcessResult arvonic(const TempFolder& folder, const std::string& keys = "\n\n") {
  return testing_support::run_process(ARVONIC_PROGRAM, folder.path(), keys);
}

ProcessResult notepack(const TempFolder& folder) {
  return testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
}

TEST(Hostile, EveryPrefixOfAScoreConvertsAPrefixOfItsMelody) {
  TempFolder whole;
  whole.write("score.xml", kScore);
  ASSERT_EQ(arvonic(whole).exit_code, 0);
  const std::string full = header_string(whole.read("score.h"));
  ASSERT_EQ(full, "L8o3C4D+p4o4E-4.o2G1");
  ASSERT_EQ(notepack(whole).exit_code, 0);
  const std::string full_bytes = header_string(whole.read("tarvel.h"));

  for (std::size_t cut = 0; cut <= kScore.size(); ++cut) {
    const std::string name = "cut at " + std::to_string(cut);
    TempFolder folder;
    folder.write("score.xml", kScore.substr(0, cut));
    const auto result = arvonic(folder);
    expect_a_chosen_end(result, name);
    // Cut before its notes, a score is refused and nothing is written.
    if (result.out.ends_with("<divisions> not found\r\n") ||
        result.out.ends_with("MusicXML 4.0 data file expected\r\n")) {
      EXPECT_EQ(result.exit_code, 1) << name;
      EXPECT_EQ(folder.read("score.h"), "<missing>") << name;
      continue;
    }
    EXPECT_EQ(result.exit_code, 0) << name;
    ASSERT_TRUE(result.out.ends_with("ok\r\n")) << name << result.out;
    const std::string play = header_string(folder.read("score.h"));
    EXPECT_TRUE(full.starts_with(play)) << name << ": " << play;

    const auto packed = notepack(folder);
    expect_a_chosen_end(packed, name);
    EXPECT_TRUE(full_bytes.starts_with(header_string(folder.read("tarvel.h")))) << name;
  }
}

constexpr char kNulFields[] =
    "<divisions>2\n<note>\n<pitch>\n<step>\0\n<octave>\0\n</pitch>\n<duration>\0\n<voice>\n";

TEST(Hostile, GarbageAndOddBytesEndAsTheProgramsChoose) {
  std::mt19937 random(20261208);
  std::vector<std::pair<std::string, std::string>> scores = {
      {"NUL bytes in fields", kHeader + std::string(kNulFields, sizeof kNulFields - 1)},
      {"CR-only line ends", kScore},
      {"bytes above 127", kHeader + "<divisions>\xff\n"},
  };
  for (auto& c : scores[1].second) {
    c = c == '\n' ? '\r' : c;
  }
  for (int i = 0; i < 40; ++i) {
    std::string garbage(random() % 4096, '\0');
    for (auto& byte : garbage) {
      byte = static_cast<char>(random() % 256);
    }
    scores.emplace_back("garbage " + std::to_string(i), garbage);
    std::string after_header = kHeader + "<divisions>4\n";
    after_header += garbage;
    scores.emplace_back("garbage after a header " + std::to_string(i), after_header);
  }
  for (const auto& [name, score] : scores) {
    TempFolder folder;
    folder.write("score.xml", score);
    const auto result = arvonic(folder);
    expect_a_chosen_end(result, name);
    const bool written = result.out.ends_with("\r\nok\r\n");
    EXPECT_EQ(folder.read("score.h") != "<missing>", written) << name;
    EXPECT_EQ(folder.read("score.bas") != "<missing>", written) << name;
    const auto packed = notepack(folder);
    expect_a_chosen_end(packed, name);
    EXPECT_EQ(packed.exit_code, 0) << name;
    EXPECT_TRUE(packed.out.ends_with("ok\r\n")) << name;
    EXPECT_EQ(folder.read("score.xml"), score) << name;
  }
}

TEST(Hostile, A50MegabyteLineWithoutLineFeed) {
  TempFolder folder;
  constexpr std::size_t kLine = 50'000'000;
  std::string score = kHeader + "<divisions>2</divisions>\n";
  score.append(kLine, 'x');
  folder.write("score.xml", score);
  const auto result = arvonic(folder);
  expect_a_chosen_end(result, "50 MB line");
  EXPECT_TRUE(result.out.ends_with("processing...\r\nok\r\n"));
  EXPECT_EQ(folder.read("score.h"), kDeclaration + "\"L8\";\r\n");
  const auto packed = notepack(folder);
  EXPECT_EQ(packed.out, "\r\nok\r\n");  // the PLAY string, empty, printed at the end of the file
}

TEST(Hostile, TenThousandNestedElements) {
  std::string score = kHeader + "<divisions>2</divisions>\n";
  for (int i = 0; i < 10000; ++i) {
    score += std::string(static_cast<std::size_t>(i % 200), ' ') + "<note>\n";
  }
  for (int i = 0; i < 10000; ++i) {
    score += "</note>\n";
  }
  TempFolder folder;
  folder.write("score.xml", score);
  const auto result = arvonic(folder);
  expect_a_chosen_end(result, "nested");
  EXPECT_EQ(folder.read("score.h"), kDeclaration + "\"L8\";\r\n");
  EXPECT_EQ(notepack(folder).exit_code, 0);
  EXPECT_EQ(folder.read("tarvel.h"), kDeclaration + "\"\";\r\n");
}

TEST(Hostile, AScoreThatIsAFolderOrAFifo) {
  TempFolder folder;
  std::filesystem::create_directory(folder.path() / "score.xml");
  auto result = arvonic(folder);
  expect_a_chosen_end(result, "folder");
  EXPECT_TRUE(result.out.ends_with("score.xml - file not found\r\n"));
  EXPECT_EQ(notepack(folder).out, "score.xml - file not found\r\n");
  EXPECT_EQ(folder.read("score.h"), "<missing>");
  EXPECT_EQ(folder.read("tarvel.h"), "<missing>");

  // A FIFO nobody writes to is waited for, as its writer may come late; Esc
  // ends the wait as it ends the reading of a score, touching nothing.
  TempFolder fifo;
  ASSERT_EQ(mkfifo((fifo.path() / "score.xml").c_str(), 0600), 0);
  result = arvonic(fifo, "\n\n\x1b");
  expect_a_chosen_end(result, "fifo");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out.find("MusicXML 4.0 data file expected"), std::string::npos) << result.out;
  EXPECT_EQ(fifo.read("score.h"), "<missing>");
  const auto packed = testing_support::run_process(NOTEPACK_PROGRAM, fifo.path(), "\x1b");
  EXPECT_FALSE(packed.timed_out);
  EXPECT_EQ(packed.exit_code, 0);
  EXPECT_EQ(fifo.read("tarvel.h"), "<missing>");
}

TEST(Hostile, NamesThatAreOddOrTooLong) {
  TempFolder folder;
  folder.write("tune.xml", kScore);
  // The same name twice: the score is only ever read.
  auto result = arvonic(folder, "tune\ntune\n");
  expect_a_chosen_end(result, "same name");
  EXPECT_EQ(folder.read("tune.xml"), kScore);
  EXPECT_EQ(header_string(folder.read("tune.h")), "L8o3C4D+p4o4E-4.o2G1");

  const std::string long_name(300, 'n');
  result = arvonic(folder, long_name + "\n\n");
  expect_a_chosen_end(result, "long name");
  EXPECT_TRUE(result.out.ends_with(long_name + ".xml - file not found\r\n"));

  result = arvonic(folder, "tune\n" + long_name + "\n");
  expect_a_chosen_end(result, "long output name");
  EXPECT_TRUE(result.out.ends_with(long_name + ".h - file not written\r\n" + long_name +
                                   ".bas - file not written\r\n"));
}

}  // namespace
