// The fixed-name converter run whole in memory.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fixtures.hpp"
#include "notepack/converter.hpp"
#include "runtime/platform/memory/memory_platform.hpp"

namespace {

using testing_support::kDeclaration;
using testing_support::kNotepackExample;
using testing_support::plain_note;

struct Outcome {
  int code;
  std::string window;
};

Outcome convert(rt::MemoryPlatform& platform, const std::string& keys = "") {
  platform.type(keys);
  const int code = rt::run_program(platform, rt::DataTables(), notepack::run);
  return {code, platform.output};
}

std::string rest(const std::string& duration) {
  return "<note>\n<rest/>\n<duration>" + duration + "</duration>\n<voice>1</voice>\n</note>\n";
}

TEST(Notepack, ConvertsTheWorkedExample) {
  for (const bool final_line_feed : {true, false}) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", final_line_feed ? kNotepackExample
                                                   : kNotepackExample.substr(0, kNotepackExample.size() - 1));
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.window, std::string("noteC42\r\nnoteF41\r\nALT !\r\npause !\r\nrest4\r\nnoteA58\r\n") +
                              (final_line_feed ? "" : "o2C4F+8p2o3A1\r\n") + "ok\r\n");
    EXPECT_EQ(platform.file("tarvel.h"), kDeclaration + "\"o2C4F+8p2o3A1\";\r\n");
  }
}

TEST(Notepack, LengthCharactersAndOctaveTexts) {
  const char* lengths = "843221111";
  for (int digit = 1; digit <= 9; ++digit) {
    EXPECT_EQ(notepack::length_character(std::to_string(digit)), std::string(1, lengths[digit - 1])) << digit;
  }
  for (const char* zero : {"0", "x", "", "<"}) {
    EXPECT_EQ(notepack::length_character(zero), std::string(1, '\0')) << zero;
  }
  const char* octaves[] = {"-2", "-1", "0", "1", "2", "3", "4", "5", "6", "7"};
  for (int digit = 0; digit <= 9; ++digit) {
    EXPECT_EQ(notepack::octave_text(std::to_string(digit)), octaves[digit]);
  }
  EXPECT_EQ(notepack::octave_text("x"), "-2");
  EXPECT_EQ(notepack::field_value("no bracket").text(), "n");
  EXPECT_EQ(notepack::field_value("ends>").text(), "");
  EXPECT_EQ(notepack::field_value("").text(), "");
}

struct PlayCase {
  const char* name;
  std::string body;
  std::string header_lines;  // the file after its declaration line
  std::string window;
};

TEST(Notepack, BuildsOneLengthCharacterPerNoteAndPause) {
  const std::string sixty_four(16, 'x');
  const PlayCase cases[] = {
      {"empty score", "", "\"\";\r\n", "ok\r\n"},
      {"no notes", "<part>\n</part>\n", "\"\";\r\n", "ok\r\n"},
      {"duration written 12", plain_note("C", "4", "12"), "\"o2C8\";\r\n", "noteC41\r\nok\r\n"},
      {"duration 0 gives a NUL", plain_note("C", "4", "0"), std::string("\"o2C\0\";\r\n", 9),
       "noteC40\r\nok\r\n"},
      {"alter values",
       plain_note("C", "4", "2", "-1") + plain_note("D", "4", "2", "1") + plain_note("E", "4", "2", "2"),
       "\"o1B4o2D+4F+4\";\r\n", "noteC42\r\nnoteD42\r\nALT !\r\nnoteE42\r\nok\r\n"},
      {"a rest with attributes, open and closed, and over several lines",
       "<note>\n<rest measure=\"yes\"/>\n<duration>8</duration>\n<voice>\n" +
           std::string("<note>\n<rest>\n") +
           "<display-step>E</display-step>\n<duration>9</duration>\n</rest>\n<duration>4</"
           "duration>\n<voice>\n" +
           "<note>\n<rest></rest>\n<duration>2</duration>\n<voice>\n<note>\n<restless/"
           ">\n<duration>2\n<voice>\n" +
           plain_note("C", "4", "2"),
       "\"p1p2p4o2C4\";\r\n",
       "pause !\r\nrest8\r\npause !\r\nrest4\r\npause !\r\nrest2\r\nnoteC42\r\nok\r\n"},
      {"octave 1 and a non-digit", plain_note("C", "1", "2") + plain_note("D", "y", "2"),
       "\"o-1C4o-2D4\";\r\n", "noteC12\r\nnoteDy2\r\nok\r\n"},
      {"a rest keeps the octave", plain_note("C", "4", "2") + rest("2") + plain_note("D", "4", "2"),
       "\"o2C4p4D4\";\r\n", "noteC42\r\npause !\r\nrest2\r\nnoteD42\r\nok\r\n"},
      {"a start tag with attributes opens an element, a notehead line none",
       "<note default-x=\"16.50\" default-y=\"-42.50\">\n<pitch>\n<step>C</step>\n<octave>4</octave>\n"
       "</pitch>\n<duration>2</duration>\n<voice>1</voice>\n<notehead>x</notehead>\n</note>\n" +
           plain_note("D", "4", "2"),
       "\"o2C4D4\";\r\n", "noteC42\r\nnoteD42\r\nok\r\n"},
      {"a chord mark before the pitch", "<note>\n<chord/>\n<pitch>\n" + plain_note("E", "4", "2"),
       "\"o2E4\";\r\n", "noteE42\r\nok\r\n"},
      {"a missed element after the skip",
       "<note>\n<pitch>\n<step>C</step>\n<octave>4</octave>\n</pitch>\n<duration>2</duration>\n</note>\n" +
           plain_note("D", "4", "2") + plain_note("E", "4", "2"),
       "\"o2C4E4\";\r\n", "noteC42\r\nnoteE42\r\nok\r\n"},
      {"pitch and rest on one line",
       "<note>\n<pitch><rest/>\n<step>C</step>\n<octave>4</octave>\n</pitch>\n<duration>2</duration>\n"
       "<duration>8</duration>\n<voice>\n",
       "\"p1\";\r\n", "pause !\r\nrest8\r\nok\r\n"},
      {"the field is cut to one character, with no > the first one",
       "<note>\n<pitch>\nG\n<octave>45</octave>\n</pitch>\n<duration>4</duration>\n<voice>\n",
       "\"o2G2\";\r\n", "noteG44\r\nok\r\n"},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", c.body);
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 0) << c.name;
    EXPECT_EQ(platform.file("tarvel.h"), kDeclaration + c.header_lines) << c.name;
    EXPECT_EQ(run.window, c.window) << c.name;
  }
}

TEST(Notepack, SpellsEveryAlterationWithAtMostASharp) {
  // Each note written in octave 4 (o2): what it becomes for each alter value.
  const struct {
    const char* step;
    const char* flat;
    const char* double_sharp;
    const char* double_flat;
  } rows[] = {
      {"C", "o1B4", "o2D4", "o1A+4"},  {"D", "o2C+4", "o2E4", "o2C4"}, {"E", "o2D+4", "o2F+4", "o2D4"},
      {"F", "o2E4", "o2G4", "o2D+4"},  {"G", "o2F+4", "o2A4", "o2F4"}, {"A", "o2G+4", "o2B4", "o2G4"},
      {"B", "o2A+4", "o3C+4", "o2A4"},
  };
  const auto converted = [](const std::string& step, const std::string& alter) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", plain_note(step, "4", "2", alter));
    convert(platform);
    return testing_support::header_string(platform.file("tarvel.h").value_or(""));
  };
  for (const auto& row : rows) {
    EXPECT_EQ(converted(row.step, "-1"), row.flat) << row.step;
    EXPECT_EQ(converted(row.step, "2"), row.double_sharp) << row.step;
    EXPECT_EQ(converted(row.step, "-2"), row.double_flat) << row.step;
    EXPECT_EQ(converted(row.step, "1"), std::string("o2") + row.step + "+4") << row.step;
    // Anything else is the natural note, a value that only begins like one too.
    for (const char* other : {"0", "0.5", "-1.5", "10", "x"}) {
      EXPECT_EQ(converted(row.step, other), std::string("o2") + row.step + "4") << row.step << other;
    }
  }
  // The octave command follows the note written, not the one in the score.
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", plain_note("B", "3", "2") + plain_note("C", "4", "2", "-1") +
                                     plain_note("B", "4", "2", "2") + plain_note("C", "5", "2"));
  convert(platform);
  EXPECT_EQ(testing_support::header_string(platform.file("tarvel.h").value_or("")), "o1B4B4o3C+4C4");
}

TEST(Notepack, WritesThePlayStringIn64CharacterPieces) {
  // Each C quarter in one octave adds "C4": 32 notes after "o2" give 66 characters.
  struct Case {
    int notes;
    std::string tail;
  };
  for (const Case& c : {Case{31, "\"\";\r\n"}, Case{32, "\"C4\";\r\n"}}) {
    std::string body;
    for (int i = 0; i < c.notes; ++i) {
      body += plain_note("C", "4", "2");
    }
    // 31 notes: "o2" + 62 = 64 characters, a full line and an empty closing one.
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", body);
    convert(platform);
    std::string full = "o2";
    for (int i = 0; i < 31; ++i) {
      full += "C4";
    }
    std::string expected = kDeclaration;
    expected.append("\"").append(full).append("\"\r\n").append(c.tail);
    EXPECT_EQ(platform.file("tarvel.h"), expected);
  }
}

TEST(Notepack, KeepsTheLastCharacterOfAStringOf64KPlus1) {
  // "o-1" and 32,767 "C4": 65,537 characters, shown whole in the window as the
  // score ends without a line feed, and written with one on the closing line.
  std::string body;
  std::string play = "o-1";
  for (int i = 0; i < 32767; ++i) {
    body += plain_note("C", "1", "2");
    play += "C4";
  }
  body.pop_back();
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", body);
  const Outcome run = convert(platform);
  EXPECT_TRUE(run.window.ends_with("noteC12\r\n" + play + "\r\nok\r\n"));
  const std::string header = platform.file("tarvel.h").value_or("");
  EXPECT_EQ(testing_support::header_string(header), play);
  EXPECT_TRUE(header.ends_with("C\"\r\n\"4\";\r\n"));
}

TEST(Notepack, EscDuringTheScanLeavesTheHeaderAsItWas) {
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", kNotepackExample);
  platform.add_file("tarvel.h", "mine");
  const Outcome run = convert(platform, "ab\x1b");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.window, "");
  EXPECT_EQ(platform.file("tarvel.h"), "mine");
}

TEST(Notepack, AMissingScoreIsReportedAndNothingIsCreated) {
  for (const bool folder : {false, true}) {
    rt::MemoryPlatform platform;
    if (folder) {
      platform.files["score.xml"].directory = true;
    }
    platform.add_file("tarvel.h", "mine");
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.window, "score.xml - file not found\r\n");
    EXPECT_EQ(platform.file("tarvel.h"), "mine");
    EXPECT_FALSE(platform.file("score.xml").has_value());
  }
}

TEST(Notepack, AHeaderThatIsNotWrittenIsSaidSoAndKeepsItsOldContent) {
  for (const int fault : {0, 1, 2}) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", kNotepackExample);
    platform.add_file("tarvel.h", "old");
    platform.files["tarvel.h"].directory = fault == 0;
    platform.files["tarvel.h"].space = fault == 1 ? std::optional<std::size_t>(10) : std::nullopt;
    platform.files["tarvel.h"].fail_close = fault == 2;
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 1) << fault;
    EXPECT_TRUE(run.window.ends_with("noteA58\r\ntarvel.h - file not written\r\n")) << run.window;
    if (fault != 0) {
      EXPECT_EQ(platform.file("tarvel.h"), "old") << fault;
    }
  }
}

TEST(Notepack, AReadErrorEndsTheRunWithError3AndTouchesNoFile) {
  for (const std::size_t at : {std::size_t{0}, kNotepackExample.size() / 2, kNotepackExample.size() - 1}) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", kNotepackExample);
    platform.files["score.xml"].read_error_at = at;
    platform.add_file("tarvel.h", "old");
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 3) << at;
    EXPECT_EQ(platform.error, testing_support::kReadErrorReport) << at;
    EXPECT_FALSE(run.window.ends_with("ok\r\n")) << at;
    EXPECT_EQ(platform.file("tarvel.h"), "old") << at;
  }
}

TEST(Notepack, TheCloseKeyDuringTheScanIsIgnored) {
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", kNotepackExample);
  platform.keys = {rt::kKeyClose};
  const Outcome run = convert(platform);
  EXPECT_TRUE(run.window.ends_with("ok\r\n"));
  EXPECT_EQ(platform.file("tarvel.h"), kDeclaration + "\"o2C4F+8p2o3A1\";\r\n");
}

TEST(Notepack, BulkReadingGivesTheSameRunAsReadingByteByByte) {
  const std::string scores[] = {
      kNotepackExample,
      kNotepackExample.substr(0, kNotepackExample.size() - 1),
      "<note>\n<pitch>\n<step>C</step>\n<octave>4</octave>\n</pitch>\n<duration>2</duration>\n</note>\n" +
          plain_note("D", "4", "2") + "<dir>\n<dir>\n" + plain_note("E", "4", "2"),
      plain_note("C", "4", "2") + "<not",
      "<note "
      "default-x=\"1\">\n<pitch>\n<step>C</step>\n<octave>4</octave>\n</pitch>\n<duration>2</duration>\n"
      "<notations>\n</notations>\n<notehead>x</notehead>\n</note>\n<note\tx>\n" +
          plain_note("D", "4", "2"),
  };
  for (const auto& score : scores) {
    rt::MemoryPlatform bulk;
    bulk.add_file("score.xml", score);
    const Outcome fast = convert(bulk);
    rt::MemoryPlatform bytewise;
    bytewise.add_file("score.xml", score);
    const Outcome slow = convert(bytewise, std::string(score.size() + 10, 'k'));
    EXPECT_EQ(fast.window, slow.window);
    EXPECT_EQ(bulk.file("tarvel.h"), bytewise.file("tarvel.h"));
  }
}

}  // namespace
