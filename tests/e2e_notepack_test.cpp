// The built notepack, run in a temporary folder with its window as a stream on
// standard output, compared byte for byte: window stream, exit code, files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures.hpp"
#include "process_runner.hpp"

namespace {

using testing_support::InputKind;
using testing_support::kDeclaration;
using testing_support::kNotepackExample;
using testing_support::kNotepackExampleWindow;
using testing_support::plain_note;
using testing_support::TempFolder;

const std::string kMissing = "<missing>";

std::string repeated(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) {
    all += text;
  }
  return all;
}

struct Case {
  const char* name;
  std::string score;  // kMissing: no score.xml
  std::string keys;
  std::string window;
  std::string header;  // tarvel.h afterwards, kMissing when absent
};

TEST(NotepackProgram, RunsEveryCaseThroughFileAndPipe) {
  const std::string c4 = plain_note("C", "4", "2");
  const std::string line_64 = "o2" + repeated("C4", 31);
  const Case cases[] = {
      {"worked example", kNotepackExample, "", kNotepackExampleWindow + "ok\r\n",
       kDeclaration + "\"o2C4F+8p2o3A1\";\r\n"},
      {"worked example without final line feed", kNotepackExample.substr(0, kNotepackExample.size() - 1), "",
       kNotepackExampleWindow + "o2C4F+8p2o3A1\r\nok\r\n", kDeclaration + "\"o2C4F+8p2o3A1\";\r\n"},
      {"empty score", "", "", "ok\r\n", kDeclaration + "\"\";\r\n"},
      {"exactly 64 characters", repeated(c4, 31), "", repeated("noteC42\r\n", 31) + "ok\r\n",
       kDeclaration + "\"" + line_64 + "\"\r\n\"\";\r\n"},
      {"65 characters", repeated(c4, 31) + plain_note("D", "4", "8"), "",
       repeated("noteC42\r\n", 31) + "noteD48\r\nok\r\n",
       kDeclaration + "\"" + line_64 + "\"\r\n\"D1\";\r\n"},
      {"duration 0", plain_note("C", "4", "0"), "", "noteC40\r\nok\r\n",
       kDeclaration + std::string("\"o2C\0\";\r\n", 9)},
      {"duration written 12", plain_note("C", "4", "12"), "", "noteC41\r\nok\r\n",
       kDeclaration + "\"o2C8\";\r\n"},
      {"alter -1, 1 and 2",
       plain_note("C", "4", "2", "-1") + plain_note("D", "4", "2", "1") + plain_note("E", "4", "2", "2"), "",
       "noteC42\r\nnoteD42\r\nALT !\r\nnoteE42\r\nok\r\n", kDeclaration + "\"o1B4o2D+4F+4\";\r\n"},
      {"octave 1 and a non-digit", plain_note("C", "1", "2") + plain_note("D", "?", "2"), "",
       "noteC12\r\nnoteD?2\r\nok\r\n", kDeclaration + "\"o-1C4o-2D4\";\r\n"},
      {"note tag with attributes",
       "<note default-x=\"12\">\n" + plain_note("C", "4", "4").substr(7) + plain_note("D", "4", "4"), "",
       "noteC44\r\nnoteD44\r\nok\r\n", kDeclaration + "\"o2C2D2\";\r\n"},
      {"missed element after the skip",
       "<note>\n<pitch>\n<step>C</step>\n<octave>4</octave>\n</pitch>\n<duration>2</duration>\n</note>\n" +
           plain_note("D", "4", "2") + plain_note("E", "4", "2"),
       "", "noteC42\r\nnoteE42\r\nok\r\n", kDeclaration + "\"o2C4E4\";\r\n"},
      {"Esc typed ahead", kNotepackExample, "\x1b", "", kMissing},
      {"keys during the scan are taken by the poll", kNotepackExample, "abc",
       kNotepackExampleWindow + "ok\r\n", kDeclaration + "\"o2C4F+8p2o3A1\";\r\n"},
      {"missing score", kMissing, "", "score.xml - file not found\r\n", kMissing},
  };
  for (const InputKind kind : {InputKind::file, InputKind::pipe}) {
    for (const auto& c : cases) {
      const std::string name = std::string(c.name) + (kind == InputKind::pipe ? " (pipe)" : " (file)");
      TempFolder folder;
      if (c.score != kMissing) {
        folder.write("score.xml", c.score);
      }
      const auto result = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), c.keys, kind);
      ASSERT_FALSE(result.timed_out) << name;
      const int expected_code = c.window.ends_with(" - file not found\r\n") ? 1 : 0;
      ASSERT_EQ(result.exit_code, expected_code) << name << ", signal " << result.signal << ":\n"
                                                 << result.err;
      EXPECT_EQ(result.out, c.window) << name;
      EXPECT_EQ(result.err, "") << name;
      EXPECT_EQ(folder.read("tarvel.h"), c.header) << name;
      EXPECT_EQ(folder.read("score.xml"), c.score) << name;
    }
  }
}

TEST(NotepackProgram, ConvertsTheBundledExampleWhole) {
  // Its note start tags carry their positions, as exports write them.
  TempFolder folder;
  std::filesystem::copy_file(EXAMPLE_SCORE, folder.path() / "score.xml");
  const auto result = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(folder.read("tarvel.h"),
            kDeclaration + "\"o2D4F2G4A3A+8A4G2E4C3D8E4F2D4D3C+8D4E2C+4o1A2p4\";\r\n");
}

TEST(NotepackProgram, EscLeavesAnExistingHeaderAsItWas) {
  TempFolder folder;
  folder.write("score.xml", kNotepackExample);
  folder.write("tarvel.h", "mine");
  const auto result = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "\x1b");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(folder.read("tarvel.h"), "mine");
}

TEST(NotepackProgram, AHeaderThatCannotBeWrittenIsSaidSo) {
  TempFolder folder;
  folder.write("score.xml", kNotepackExample);
  std::filesystem::create_directory(folder.path() / "tarvel.h");
  auto result = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
  EXPECT_EQ(result.out, kNotepackExampleWindow + "tarvel.h - file not written\r\n");
  EXPECT_EQ(result.exit_code, 1);

  std::filesystem::remove(folder.path() / "tarvel.h");
  std::filesystem::create_symlink("/dev/full", folder.path() / "tarvel.h");
  result = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
  EXPECT_EQ(result.out, kNotepackExampleWindow + "tarvel.h - file not written\r\n");
  EXPECT_EQ(result.exit_code, 1);
}

TEST(NotepackProgram, AScoreFolderIsNotFoundAndNothingIsCreated) {
  TempFolder folder;
  std::filesystem::create_directory(folder.path() / "score.xml");
  const auto result = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
  EXPECT_EQ(result.out, "score.xml - file not found\r\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(folder.read("tarvel.h"), kMissing);
}

TEST(NotepackProgram, ConvertsEveryCorpusScoreWithoutACrash) {
  const std::filesystem::path corpus = CORPUS_FOLDER;
  if (!std::filesystem::is_directory(corpus)) {
    GTEST_SKIP() << "no corpus folder at " << corpus;
  }
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".xml") {
      continue;
    }
    TempFolder folder;
    std::filesystem::copy_file(entry.path(), folder.path() / "score.xml");
    const auto result = testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "");
    const std::string name = entry.path().filename().string();
    ASSERT_FALSE(result.timed_out) << name;
    EXPECT_EQ(result.exit_code, 0) << name;
    EXPECT_TRUE(result.out.ends_with("ok\r\n")) << name;
    EXPECT_TRUE(folder.read("tarvel.h").starts_with(kDeclaration)) << name;
  }
}

}  // namespace
