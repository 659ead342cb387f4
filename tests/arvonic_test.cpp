// The PLAY converter run whole in memory: dialogue, scanner, builder, writers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arvonic/converter.hpp"
#include "fixtures.hpp"
#include "runtime/platform/memory/memory_platform.hpp"
#include "score_builder.hpp"

namespace {

using testing_support::kDeclaration;

using testing_support::Score;

using testing_support::kArvonicBanner;
using testing_support::kDefaultNames;

struct Outcome {
  int code = 0;
  std::string output;  // after the banner and the two prompts
  std::string error;
};

Outcome convert(rt::MemoryPlatform& platform, const std::string& keys = "\n\n") {
  platform.type(keys);
  Outcome run;
  run.code = rt::run_program(platform, arvonic::program_data(), arvonic::run);
  run.error = platform.error;
  run.output = platform.output;
  if (run.output.starts_with(kArvonicBanner + kDefaultNames)) {
    run.output.erase(0, kArvonicBanner.size() + kDefaultNames.size());
  }
  return run;
}

// The PLAY string of a score, joined from the program file's statements.
std::string play_string(const std::string& score) {
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", score);
  const Outcome run = convert(platform);
  EXPECT_EQ(run.output, "processing...\r\nok\r\n");
  std::string joined;
  const std::string program = platform.file("score.bas").value_or("");
  for (std::size_t at = 0; at < program.size();) {
    const auto end = program.find("\"\r\n", at);
    joined += program.substr(at + 6, end - at - 6);
    at = end + 3;
  }
  return joined;
}

struct PlayCase {
  const char* name;
  Score score;
  std::string expected;
};

TEST(Arvonic, BuildsThePlayStringNoteByNote) {
  const PlayCase cases[] = {
      {"worked example", Score::worked_example(), "L8o3C4D+o2B4.p4o4E-2"},
      {"divisions 2 lengths",
       Score("2").note("C", "4", "1").note("C", "4", "2").rest("1").note("C", "4", "12"), "L8o3CC4p8C1."},
      {"divisions 4 lengths",
       Score("4").note("C", "4", "1").note("C", "4", "2").note("C", "4", "24").rest("16"), "L16o3CC8C1.p1"},
      {"duration 0", Score("2").note("C", "4", "0").rest("0"), "L8o3C0p0"},
      {"octave characters",
       Score("2").note("C", "0", "1").note("C", "9", "1").note("C", "x", "1").note("C", "", "1"),
       "L8o-1Co8Co-1CC"},
      {"alter values",
       Score("2")
           .note("C", "4", "1", "-2")
           .note("D", "4", "1", "2")
           .note("E", "4", "1", "1")
           .note("F", "4", "1", "0"),
       "L8o3C-DE+F"},
      {"a rest keeps the octave", Score("2").note("C", "4", "2").rest("2").note("D", "4", "2"), "L8o3C4p4D4"},
      {"no case conversion", Score("2").note("c", "4", "2"), "L8o3c4"},
      {"a chord's second note yields nothing",
       Score("2")
           .note("C", "4", "2")
           .line("      <note>")
           .line("        <chord/>")
           .line("        <pitch>")
           .line("          <step>E</step>")
           .line("          <octave>4</octave>")
           .line("          </pitch>")
           .line("        <duration>2</duration>")
           .line("        <voice>1</voice>")
           .line("        </note>")
           .note("G", "4", "2"),
       "L8o3C4G4"},
      {"a rest with attributes is a rest",
       Score("2")
           .line("      <note>")
           .line("        <rest measure=\"yes\"/>")
           .line("        <duration>8</duration>")
           .line("        <voice>1</voice>")
           .line("        </note>")
           .note("A", "4", "2"),
       "L8p1o3A4"},
      {"a rest written open and closed",
       Score("2")
           .line("<note>")
           .line("<rest></rest>")
           .line("<duration>4")
           .line("<voice>")
           .note("A", "4", "2"),
       "L8p2o3A4"},
      {"a rest over several lines: the duration follows its end",
       Score("2")
           .line("<note>")
           .line("<rest>")
           .line("<display-step>E</display-step>")
           .line("<duration>9</duration>")
           .line("</rest>")
           .line("<duration>1</duration>")
           .line("<voice>")
           .note("A", "4", "2"),
       "L8p8o3A4"},
      {"a word that begins like rest is no rest",
       Score("2").line("<note>").line("<restless/>").line("<duration>4").line("<voice>").note("A", "4", "2"),
       "L8o3A4"},
      {"a duration line without a closing tag",
       Score("2")
           .line("<note>")
           .line("<pitch>")
           .line("<step>C")
           .line("<octave>4")
           .line("</pitch>")
           .line("<duration>12")
           .line("<voice>"),
       "L8o3C1."},
      {"the skip swallows the next note when the end line follows the duration",
       Score("2")
           .line("<note>")
           .line("<pitch>")
           .line("<step>C</step>")
           .line("<octave>4</octave>")
           .line("</pitch>")
           .line("<duration>2</duration>")
           .line("</note>")
           .note("D", "4", "2")
           .note("E", "4", "2"),
       "L8o3C4E4"},
      {"pitch and rest on one line",
       Score("2")
           .line("<note>")
           .line("<pitch><rest/>")
           .line("<step>C</step>")
           .line("<octave>4</octave>")
           .line("</pitch>")
           .line("<duration>2</duration>")
           .line("<duration>1</duration>")
           .line("<voice>"),
       "L8o3Cp8"},
      {"a notehead line before the end line steals the next element",
       Score("2")
           .line("<note>")
           .line("<pitch>")
           .line("<step>C</step>")
           .line("<octave>4</octave>")
           .line("</pitch>")
           .line("<duration>2</duration>")
           .line("<voice>1</voice>")
           .line("<notehead>x</notehead>")
           .line("</note>")
           .note("D", "4", "2")
           .note("E", "4", "2"),
       "L8o3C4E4"},
      {"a note cut short by the end of the file is lost",
       Score("2").note("C", "4", "2").line("<note>").line("<pitch>").line("<step>D</step>"), "L8o3C4"},
      {"a note whose duration line completed is kept",
       Score("2")
           .note("C", "4", "2")
           .line("<note>")
           .line("<pitch>")
           .line("<step>D</step>")
           .line("<octave>4</octave>")
           .line("</pitch>")
           .line("<duration>1</duration>"),
       "L8o3C4D"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(play_string(c.score.text()), c.expected) << c.name;
  }
}

TEST(Arvonic, ReadsCrLfScoresAsBareLineFeedOnesAndDropsALastLineWithoutLineFeed) {
  const Score score = Score("2").note("C", "4", "2").rest("1").note("D", "5", "4", "1");
  EXPECT_EQ(play_string(score.text("\r\n")), "L8o3C4p8o4D+2");
  const Score cut = Score("2")
                        .line("<note>")
                        .line("<pitch>")
                        .line("<step>C</step>")
                        .line("<octave>4</octave>")
                        .line("</pitch>")
                        .line("<duration>2</duration>");
  EXPECT_EQ(play_string(cut.text("\n", true)), "L8o3C4");
  EXPECT_EQ(play_string(cut.text("\n", false)), "L8");
}

TEST(Arvonic, WritesBothWorkedExamplesByteForByte) {
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", Score::worked_example().text());
  EXPECT_EQ(convert(platform).code, 0);
  EXPECT_EQ(platform.file("score.h"), kDeclaration + "\"L8o3C4D+o2B4.p4o4E-2\";\r\n");
  EXPECT_EQ(platform.file("score.bas"), "PLAY \"L8o3C4D+o2B4.p4o4E-2\"\r\n");
  EXPECT_EQ(platform.file("score.h").value_or("").size(), 64U);

  Score split("4");
  for (int group = 0; group < 6; ++group) {
    for (const char* step : {"C", "D", "E", "F", "G", "A", "B"}) {
      split.note(step, "4", "1");
    }
    split.note("C", "5", "1");
  }
  split.rest("4").note("C", "4", "8").close();
  rt::MemoryPlatform second;
  second.add_file("score.xml", split.text());
  EXPECT_EQ(convert(second).code, 0);
  const std::string first_line = "L16o3CDEFGABo4Co3CDEFGABo4Co3CDEFGABo4Co3CDEFGABo4Co3CDEFGABo4Co3C";
  EXPECT_EQ(second.file("score.h"), kDeclaration + "\"" + first_line + "\"\r\n\"DEFGABo4Cp4o3C2\";\r\n");
  EXPECT_EQ(second.file("score.bas"), "PLAY \"" + first_line + "\"\r\nPLAY \"DEFGABo4Cp4o3C2\"\r\n");
  EXPECT_EQ(second.file("score.h").value_or("").size(), 129U);
  EXPECT_EQ(second.file("score.bas").value_or("").size(), 99U);
}

struct FailureCase {
  const char* name;
  std::string score;
  std::string report;  // printed after "processing..."
};

TEST(Arvonic, ReportsEveryFaultOfTheScoreAtItsLine) {
  const FailureCase cases[] = {
      {"no divisions", Score::bare().line("<part>").line("</part>").text(), "<divisions> not found\r\n"},
      {"first > of another tag", Score::bare().line("<a>x<divisions>2</divisions>").text(),
       "Error in line  1:<a>x<divisions>2</divisions>\r\n2 or 4 expected\r\n"},
      {"missing step", Score("2").line("<note>").line("<pitch>").line("<octave>4</octave>").text(),
       "Error in line  9:<octave>4</octave>\r\n<step> expected\r\n"},
      {"missing octave",
       Score("2")
           .line("<note>")
           .line("<pitch>")
           .line("<step>C</step>")
           .line("<alter>1</alter>")
           .line("</pitch>")
           .text(),
       "Error in line  11:</pitch>\r\n<octave> expected\r\n"},
      {"missing duration",
       Score("2")
           .line("<note>")
           .line("<pitch>")
           .line("<step>C</step>")
           .line("<octave>4</octave>")
           .line("</pitch>")
           .line("<voice>1</voice>")
           .text(),
       "Error in line  12:<voice>1</voice>\r\n<duration> expected\r\n"},
      {"length 5", Score("2").note("C", "4", "5").text(),
       "Error in line  12:        <duration>5</duration>\r\nInvalid len:5\r\n"},
      {"length 16 under divisions 2", Score("2").note("C", "4", "16").text(),
       "Error in line  12:        <duration>16</duration>\r\nInvalid len:16\r\n"},
      {"length with a blank", Score("4").note("C", "4", " 2").text(),
       "Error in line  12:        <duration> 2</duration>\r\nInvalid len: 2\r\n"},
      {"a rest's length is taken from the line after its mark", Score("2").rest("7").text(),
       "Error in line  9:        <duration>7</duration>\r\nInvalid len:7\r\n"},
      {"CR kept in the reported line", Score("2").note("C", "4", "5").text("\r\n"),
       "Error in line  12:        <duration>5</duration>\r\r\nInvalid len:5\r\n"},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", c.score);
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 1) << c.name;
    EXPECT_EQ(run.output, "processing...\r\n" + c.report) << c.name;
    EXPECT_FALSE(platform.file("score.h").has_value()) << c.name;
    EXPECT_FALSE(platform.file("score.bas").has_value()) << c.name;
  }
}

TEST(Arvonic, TakesTheWholeDivisionsValueAndOnly2Or4) {
  // Exports write 24, 480 or 256: none may pass on its first digit.
  for (const std::string value : {"24", "40", "480", "2x", " 2", "12", "8", "1", ""}) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", Score(value).note("C", "4", "2").text());
    EXPECT_EQ(convert(platform).output, "processing...\r\nError in line  5:        <divisions>" + value +
                                            "</divisions>\r\n2 or 4 expected\r\n")
        << value;
    EXPECT_FALSE(platform.file("score.h").has_value()) << value;
  }
}

// Rests show every length in full, so each entry of both tables is read back.
TEST(Arvonic, LooksUpEveryEntryOfBothLengthTables) {
  struct Table {
    const char* divisions;
    std::vector<std::string> durations;
    const char* play;
    std::vector<std::string> missing;
  };
  const Table tables[] = {
      {"2", {"1", "2", "3", "4", "6", "8", "12", "0"}, "L8p8p4p4.p2p2.p1p1.p0", {"5", "16", "24"}},
      {"4",
       {"1", "2", "3", "4", "6", "8", "12", "16", "24", "0"},
       "L16p16p8p8.p4p4.p2p2.p1p1.p0",
       {"5", "32", "48"}},
  };
  for (const auto& table : tables) {
    Score score(table.divisions);
    for (const auto& duration : table.durations) {
      score.rest(duration);
    }
    EXPECT_EQ(play_string(score.text()), table.play) << table.divisions;
    for (const auto& duration : table.missing) {
      rt::MemoryPlatform platform;
      platform.add_file("score.xml", Score(table.divisions).rest(duration).text());
      EXPECT_TRUE(convert(platform).output.ends_with("\r\nInvalid len:" + duration + "\r\n"))
          << table.divisions << " " << duration;
    }
  }
}

struct DialogueCase {
  const char* name;
  std::string keys;
  const char* existing;  // the score file present
  std::string output;    // after the banner
};

TEST(Arvonic, TakesTheNamesAsTypedAndChecksTheFile) {
  const std::string tune = Score("2").note("C", "4", "2").text();
  const DialogueCase cases[] = {
      {"missing default", "\n\n", "other.xml", kDefaultNames + "score.xml - file not found\r\n"},
      {"extension always appended", "tune.xml\n\n", "tune.xml",
       " input file [score]:tune.xml\r\noutput file [score]:\r\ntune.xml.xml - file not found\r\n"},
      {"blanks are a name", "  \n\n", "  .xml",
       " input file [score]:  \r\noutput file [score]:\r\nprocessing...\r\nok\r\n"},
      {"the output default does not follow the input", "tune\n\n", "tune.xml",
       " input file [score]:tune\r\noutput file [score]:\r\nprocessing...\r\nok\r\n"},
      {"MusicXML 4.1", "\n\n", "score.xml", ""},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    // A later version is refused too: the line must name 4.0 itself.
    const bool old = std::string(c.name) == "MusicXML 4.1";
    platform.add_file(c.existing, old ? Score("2", "4.1").text() : tune);
    const Outcome run = convert(platform, c.keys);
    // Every end but a written pair is a failure a script can see.
    EXPECT_EQ(run.code, platform.output.ends_with("ok\r\n") ? 0 : 1) << c.name;
    if (old) {
      EXPECT_EQ(run.output, "MusicXML 4.0 data file expected\r\n");
    } else {
      EXPECT_EQ(platform.output, kArvonicBanner + c.output) << c.name;
    }
  }
  rt::MemoryPlatform named;
  named.add_file("score.xml", tune);
  convert(named, "\ntune.h\n");
  EXPECT_EQ(named.file("tune.h.h"), kDeclaration + "\"L8o3C4\";\r\n");
  EXPECT_EQ(named.file("tune.h.bas"), "PLAY \"L8o3C4\"\r\n");
}

TEST(Arvonic, ScoresThatEndBeforeTheirNotesWriteNothing) {
  const struct {
    std::string score;
    std::string output;
  } cases[] = {
      {"", "MusicXML 4.0 data file expected\r\n"},
      {"one line\n", "MusicXML 4.0 data file expected\r\n"},
      {"<?xml?>\n<x>MusicXML 4.0", "MusicXML 4.0 data file expected\r\n"},
      {"a\nMusicXML 4.0\n", "processing...\r\n<divisions> not found\r\n"},
      {"a\nMusicXML 4.0\n<part>\n<divi", "processing...\r\n<divisions> not found\r\n"},
      {"a\nMusicXML 4.0\n<divisions>2</divisions>", "processing...\r\n<divisions> not found\r\n"},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", c.score);
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 1) << c.score;
    EXPECT_EQ(run.output, c.output) << c.score;
    EXPECT_FALSE(platform.file("score.h").has_value()) << c.score;
    EXPECT_FALSE(platform.file("score.bas").has_value()) << c.score;
  }
}

TEST(Arvonic, AScoreWithoutNotesWritesTheLengthCommandAlone) {
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", Score("4").close().text());
  convert(platform);
  EXPECT_EQ(platform.file("score.h"), kDeclaration + "\"L16\";\r\n");
  EXPECT_EQ(platform.file("score.bas"), "PLAY \"L16\"\r\n");
}

// Divisions 4 and sixteenth Cs in one octave: the first stored line takes 59
// notes ("L16o3" and 59 C), every further one 64.
Score lines_of_c(int notes) {
  Score score("4");
  for (int i = 0; i < notes; ++i) {
    score.note("C", "4", "1");
  }
  return score;
}

TEST(Arvonic, TheLineTableHolds101Lines) {
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", lines_of_c(59 + 100 * 64).text());
  const Outcome run = convert(platform);
  ASSERT_EQ(run.code, 0) << run.output << run.error;
  const std::string header = platform.file("score.h").value_or("<no score.h>");
  EXPECT_EQ(header.size(), kDeclaration.size() + std::size_t{101} * (64 + 4) + 1);
  EXPECT_TRUE(header.ends_with("CCCC\";\r\n"));
  EXPECT_EQ(platform.file("score.bas").value_or("").size(), 101U * (64 + 9));
}

TEST(Arvonic, A102ndLineEndsTheRunWithTheBoundsReport) {
  struct Case {
    int notes;
    int source_line;
  };
  // One more full line during the scan, or one more note left for the final store.
  for (const Case c : {Case{59 + 101 * 64, 106}, Case{59 + 100 * 64 + 1, 129}}) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", lines_of_c(c.notes).text());
    platform.add_file("score.h", "previous header");
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 6);
    EXPECT_EQ(run.output, "processing...\r\n");
    EXPECT_EQ(run.error, "\r\nAborting due to runtime error 6 (out of bounds array access) at line " +
                             std::to_string(c.source_line) + " of arvonic()\r\n\r\n");
    EXPECT_EQ(platform.file("score.h"), "previous header");
    EXPECT_FALSE(platform.file("score.bas").has_value());
  }
}

TEST(Arvonic, EscTypedAheadEndsAtOnceAndTouchesNothing) {
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", Score("2").note("C", "4", "2").text());
  platform.add_file("score.h", "mine");
  const Outcome run = convert(platform, "\n\nxy\x1b");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.output, "");  // the header lines are still being read
  EXPECT_EQ(platform.file("score.h"), "mine");
  EXPECT_FALSE(platform.file("score.bas").has_value());
}

enum class Fault { none, folder, full_disk, failing_close };

struct WriteFailureCase {
  const char* name;
  Fault header;
  Fault program;
  const char* printed;
};

TEST(Arvonic, AnOutputFileThatIsNotWrittenIsSaidSoAndKeepsItsOldContent) {
  const WriteFailureCase cases[] = {
      {"header is a folder", Fault::folder, Fault::none, "score.h - file not written\r\n"},
      {"program file on a full disk", Fault::none, Fault::full_disk, "score.bas - file not written\r\n"},
      {"header's close fails", Fault::failing_close, Fault::none, "score.h - file not written\r\n"},
      {"both", Fault::full_disk, Fault::failing_close,
       "score.h - file not written\r\nscore.bas - file not written\r\n"},
  };
  for (const auto& c : cases) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", Score("2").note("C", "4", "2").text());
    for (const auto& [name, fault] : {std::pair{"score.h", c.header}, std::pair{"score.bas", c.program}}) {
      auto& file = platform.files[name];
      file.data = "old";
      file.directory = fault == Fault::folder;
      file.space = fault == Fault::full_disk ? std::optional<std::size_t>(5) : std::nullopt;
      file.fail_close = fault == Fault::failing_close;
    }
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, c.header == Fault::none && c.program == Fault::none ? 0 : 1) << c.name;
    EXPECT_EQ(run.output, std::string("processing...\r\n") + c.printed) << c.name;
    EXPECT_EQ(platform.file("score.h").value_or("<folder>"),
              c.header == Fault::none ? kDeclaration + "\"L8o3C4\";\r\n"
                                      : (c.header == Fault::folder ? "<folder>" : "old"))
        << c.name;
    EXPECT_EQ(platform.file("score.bas"), c.program == Fault::none ? "PLAY \"L8o3C4\"\r\n" : "old") << c.name;
  }
}

TEST(Arvonic, AReadErrorEndsTheRunWithError3AndTouchesNoFile) {
  const std::string score = Score::worked_example().text();
  // In the header lines, in the search for divisions, among the notes, at the last byte.
  for (const std::size_t at : {std::size_t{0}, std::size_t{60}, score.size() / 2, score.size() - 1}) {
    rt::MemoryPlatform platform;
    platform.add_file("score.xml", score);
    platform.files["score.xml"].read_error_at = at;
    platform.add_file("score.h", "old");
    const Outcome run = convert(platform);
    EXPECT_EQ(run.code, 3) << at;
    EXPECT_EQ(run.error, testing_support::kReadErrorReport) << at;
    EXPECT_FALSE(run.output.ends_with("ok\r\n")) << at;
    EXPECT_EQ(platform.file("score.h"), "old") << at;
    EXPECT_FALSE(platform.file("score.bas").has_value()) << at;
  }
}

TEST(Arvonic, KeysPressedDuringTheScanAreTakenByThePoll) {
  rt::MemoryPlatform platform;
  platform.add_file("score.xml", Score("2").note("C", "4", "2").text());
  const Outcome run = convert(platform, "\n\nabc");
  EXPECT_EQ(run.output, "processing...\r\nok\r\n");
  EXPECT_TRUE(platform.keys.empty());
}

}  // namespace

namespace {

// With a key waiting before every score byte the converters take each byte
// alone; without keys they take lines and runs of lines in bulk. Both must
// give the same run.
TEST(Arvonic, BulkReadingGivesTheSameRunAsReadingByteByByte) {
  const std::string scores[] = {
      Score("4")
          .note("C", "4", "1")
          .line("<direction>")
          .line("<note-size type=\"cue\">70</note-size>")
          .rest("4")
          .note("E", "5", "2", "-1")
          .line("")
          .close()
          .text("\r\n"),
      lines_of_c(200).text(),
      Score("2").note("C", "4", "2").line("<x>").note("D", "4", "5").text(),
      Score("2").note("C", "4", "2").text("\n", false) + "<no",
  };
  for (const auto& score : scores) {
    rt::MemoryPlatform bulk;
    bulk.add_file("score.xml", score);
    const Outcome fast = convert(bulk);
    rt::MemoryPlatform bytewise;
    bytewise.add_file("score.xml", score);
    const Outcome slow = convert(bytewise, "\n\n" + std::string(score.size() + 10, 'k'));
    EXPECT_EQ(fast.output, slow.output);
    EXPECT_EQ(fast.code, slow.code);
    EXPECT_EQ(bulk.file("score.h"), bytewise.file("score.h"));
    EXPECT_EQ(bulk.file("score.bas"), bytewise.file("score.bas"));
  }
}

}  // namespace
