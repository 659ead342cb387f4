// arvonic SCORE, the built program run in a temporary folder through pipes:
// standard output, standard error, exit status and every file, byte for byte.
#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "process_runner.hpp"

namespace {

using testing_support::InputKind;
using testing_support::TempFolder;

// Two parts; the flute's top staff has two voices and a tempo mark.
const std::string kTune =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 3.1 Partwise//EN\" "
    "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
    "<score-partwise version=\"3.1\">\n"
    "  <part-list>\n"
    "    <score-part id=\"P1\"><part-name>Flute</part-name></score-part>\n"
    "    <score-part id=\"P2\"><part-name>Cello</part-name></score-part>\n"
    "  </part-list>\n"
    "  <part id=\"P1\">\n"
    "    <measure number=\"1\">\n"
    "      <attributes><divisions>2</divisions></attributes>\n"
    "      <direction><sound tempo=\"90\"/></direction>\n"
    "      "
    "<note><pitch><step>C</step><octave>5</octave></pitch><duration>2</duration><voice>1</voice></note>\n"
    "      <note><pitch><step>B</step><alter>-1</alter><octave>4</octave></pitch><duration>2</duration>"
    "<voice>1</voice></note>\n"
    "      <backup><duration>4</duration></backup>\n"
    "      "
    "<note><pitch><step>G</step><octave>3</octave></pitch><duration>4</duration><voice>2</voice></note>\n"
    "    </measure>\n"
    "    <measure number=\"2\">\n"
    "      "
    "<note><pitch><step>D</step><octave>5</octave></pitch><duration>3</duration><voice>1</voice></note>\n"
    "      <note><rest/><duration>1</duration><voice>1</voice></note>\n"
    "    </measure>\n"
    "  </part>\n"
    "  <part id=\"P2\">\n"
    "    <measure number=\"1\"><attributes><divisions>1</divisions></attributes>\n"
    "      <note><pitch><step>C</step><octave>3</octave></pitch><duration>2</duration></note></measure>\n"
    "    <measure number=\"2\">\n"
    "      <note><pitch><step>C</step><octave>3</octave></pitch><duration>2</duration></note></measure>\n"
    "  </part>\n"
    "</score-partwise>\n";

const std::string kTuneString = "T90o4Co3A+o4D.p8";
const std::string kTuneHeader = "const PROGMEM unsigned char notes[]=\\\r\n\"" + kTuneString + "\";\r\n";
const std::string kTuneProgram = "PLAY \"" + kTuneString + "\"\r\n";
const std::string kTuneReport =
    "tune.h: 3 notes, 1 pause, 0:03, part 1 \"Flute\", voice 1\n"
    "left out 1 other part: part 2 \"Cello\" (choose with --part)\n"
    "left out 1 note of voice 2 (measure 1) (choose with --voice)\n";

struct DirectRun {
  const char* what;
  std::vector<std::string> arguments;
  std::string input;  // standard input, through a pipe
  int exit_code;
  std::string out;
  std::string err;
  std::map<std::string, std::string> files;  // every file in the folder afterwards
};

std::map<std::string, std::string> files_in(const TempFolder& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    files[entry.path().filename().string()] = folder.read(entry.path().filename().string());
  }
  return files;
}

TEST(DirectMode, ConvertsReportsAndRefusesAsItSays) {
  const std::string old_header = "old header";
  const std::vector<DirectRun> runs = {
      {"the score's name names the pair",
       {"tune.musicxml"},
       "",
       0,
       "",
       kTuneReport,
       {{"tune.musicxml", kTune}, {"tune.h", kTuneHeader}, {"tune.bas", kTuneProgram}}},
      {"-o and --array",
       {"-q", "--output=song.h", "--array", "song", "tune.musicxml"},
       "",
       0,
       "",
       "",
       {{"tune.musicxml", kTune},
        {"song.h", "const PROGMEM unsigned char song[]=\\\r\n\"" + kTuneString + "\";\r\n"},
        {"song.bas", kTuneProgram}}},
      {"standard input, a chosen part and the tempo given",
       {"--part", "P2", "--tempo=60", "-o", "cello", "-"},
       kTune,
       0,
       "",
       "cello.h: 2 notes, 0 pauses, 0:04, part 2 \"Cello\", voice 1\n"
       "left out 1 other part: part 1 \"Flute\" (choose with --part)\n",
       {{"tune.musicxml", kTune},
        {"cello.h", "const PROGMEM unsigned char notes[]=\\\r\n\"T60o2C2C2\";\r\n"},
        {"cello.bas", "PLAY \"T60o2C2C2\"\r\n"}}},
      {"--list",
       {"--list", "tune.musicxml"},
       "",
       0,
       "1  P1  \"Flute\"  staves 1  voices 1,2  notes 4\n2  P2  \"Cello\"  staves 1  voices 1  notes 2\n",
       "",
       {{"tune.musicxml", kTune}}},
      {"a score that cannot be converted touches nothing",
       {"-o", "tune", "broken.xml"},
       "",
       1,
       "",
       "arvonic: broken.xml:2:3: mismatched tag\n",
       {{"tune.musicxml", kTune}, {"broken.xml", "<score-partwise>\n</part>"}, {"tune.h", old_header}}},
      {"a missing score",
       {"gone.xml"},
       "",
       1,
       "",
       "arvonic: gone.xml: cannot be opened (no such file, or not readable)\n",
       {{"tune.musicxml", kTune}}},
      {"-- before a score named like an option",
       {"-q", "--", "-x.xml"},
       "",
       1,
       "",
       "arvonic: -x.xml: cannot be opened (no such file, or not readable)\n",
       {{"tune.musicxml", kTune}}},
      {"standard input needs a name",
       {"-"},
       kTune,
       2,
       "",
       "arvonic: a score from standard input needs -o NAME\nTry 'arvonic --help'.\n",
       {{"tune.musicxml", kTune}}},
  };
  for (const DirectRun& run : runs) {
    TempFolder folder;
    folder.write("tune.musicxml", kTune);
    if (run.files.contains("broken.xml")) {
      folder.write("broken.xml", run.files.at("broken.xml"));
      folder.write("tune.h", old_header);
    }
    const auto result = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), run.input,
                                                     InputKind::pipe, 30000, run.arguments);
    EXPECT_EQ(result.exit_code, run.exit_code) << run.what;
    EXPECT_EQ(result.out, run.out) << run.what;
    EXPECT_EQ(result.err, run.err) << run.what;
    EXPECT_EQ(files_in(folder), run.files) << run.what;
  }
}

// A file name reaches the terminal with its control bytes in caret notation
// (XML itself allows none in a score): no name can clear the screen.
TEST(DirectMode, NamesCannotDriveTheTerminal) {
  TempFolder folder;
  const std::string score =
      "<score-partwise><part-list><score-part id=\"P1\"/></part-list><part id=\"P1\"><measure number=\"1\">"
      "<attributes><divisions>1</divisions></attributes><note><pitch><step>C</step><octave>4</octave></pitch>"
      "<duration>2</duration></note></measure></part></score-partwise>";
  folder.write("e\x1b[2Jsc.xml", score);
  folder.write(
      "b\x1b]0;t\x07"
      "d.xml",
      "<score-partwise>");
  auto result = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "", InputKind::pipe, 30000,
                                             {"e\x1b[2Jsc.xml"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "e^[[2Jsc.h: 1 note, 0 pauses, 0:01, part 1, voice 1\n");
  EXPECT_EQ(folder.read("e\x1b[2Jsc.h"), "const PROGMEM unsigned char notes[]=\\\r\n\"o3C2\";\r\n");
  result = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "", InputKind::pipe, 30000,
                                        {"b\x1b]0;t\x07"
                                         "d.xml"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "arvonic: b^[]0;t^Gd.xml:1:17: no element found\n");
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_compressed(const std::filesystem::path& path, const std::string& score) {
  int error = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  const std::string container =
      "<?xml version=\"1.0\"?><container><rootfiles><rootfile "
      "full-path=\"score.xml\"/></rootfiles></container>";
  zip_file_add(zip, "META-INF/container.xml", zip_source_buffer(zip, container.data(), container.size(), 0),
               0);
  zip_file_add(zip, "score.xml", zip_source_buffer(zip, score.data(), score.size(), 0), 0);
  zip_close(zip);
}

// Every real export converts in each of its three forms to the same pair; the
// three without a pitched note say so. The melodies checked were read from
// the scores by hand: which part, which voice, what the first bars are.
TEST(DirectMode, EveryCorpusScoreConvertsInEachForm) {
  const std::filesystem::path corpus = CORPUS_FOLDER;
  if (!std::filesystem::is_directory(corpus)) {
    GTEST_SKIP() << "no corpus folder at " << corpus;
  }
  const std::map<std::string, std::string> unpitched = {
      {"10-test_metronome_mark_with_pickup_measure.xml", "rests only"},
      {"13-baiao-miranda.xml", "drums only"},
      {"15-testDrumset1.xml", "drums only"},
  };
  const std::map<std::string, std::string> beginnings = {
      {"27-testHello.xml", "PLAY \"o3C1\""},
      {"23-testNotesRests1.xml", "PLAY \"o3GA8B16o4C32D64D64DD"},
      {"26-tutorial-apres-un-reve.xml", "PLAY \"L12T60p2.o3G4o4C4D4"},
      {"30-neville-san.xml", "PLAY \"p4o5C+.o4C+8A8G+8p4G+.C+8E8D+8"},
  };
  int scores = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".xml") {
      continue;
    }
    ++scores;
    const std::string name = entry.path().filename().string();
    TempFolder folder;
    const std::string score = read_file(entry.path());
    folder.write("a.xml", score);
    folder.write("b.musicxml", score);
    write_compressed(folder.path() / "c.mxl", score);
    std::string header;
    for (const char* form : {"a.xml", "b.musicxml", "c.mxl"}) {
      const auto result = testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "", InputKind::pipe,
                                                       30000, {"-q", "-o", "out", form});
      if (unpitched.contains(name)) {
        EXPECT_EQ(result.exit_code, 1) << name << " " << form;
        EXPECT_EQ(result.err,
                  std::string("arvonic: ") + form + ": no pitched note in any part: nothing to convert\n")
            << name;
        EXPECT_EQ(folder.read("out.h"), "<missing>") << name;
        continue;
      }
      EXPECT_EQ(result.exit_code, 0) << name << " " << form << ": " << result.err;
      const std::string written = folder.read("out.h");
      EXPECT_TRUE(written.starts_with("const PROGMEM unsigned char notes[]=\\\r\n\"")) << name;
      EXPECT_TRUE(header.empty() || written == header) << name << " " << form;
      header = written;
      if (beginnings.contains(name)) {
        EXPECT_TRUE(folder.read("out.bas").starts_with(beginnings.at(name)))
            << name << ": " << folder.read("out.bas");
      }
    }
  }
  EXPECT_GE(scores, 30);
}

}  // namespace
