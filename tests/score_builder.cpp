#include "score_builder.hpp"

namespace testing_support {

Score Score::bare(const std::string& version) {
  Score score("2", version);
  score.lines_.resize(2);
  return score;
}

Score Score::worked_example() {
  Score score("2");
  score.note("C", "4", "2").note("D", "4", "1", "1").note("B", "3", "3").rest("2").note("E", "5", "4", "-1");
  return score.close();
}

Score::Score(const std::string& divisions, const std::string& version) {
  lines_ = {
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
      "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML " + version +
          " Partwise//EN\" \"http://www.musicxml.org/dtds/partwise.dtd\">",
      "<score-partwise version=\"" + version + "\">",
      "  <part id=\"P1\">",
      "    <measure number=\"1\">",
      "      <attributes>",
      "        <divisions>" + divisions + "</divisions>",
      "        </attributes>",
  };
}

Score& Score::note(const std::string& step, const std::string& octave, const std::string& duration,
                   const std::string& alter) {
  lines_.emplace_back("      <note default-x=\"81.20\" default-y=\"-15.00\">");
  lines_.emplace_back("        <pitch>");
  lines_.emplace_back("          <step>" + step + "</step>");
  if (!alter.empty()) {
    lines_.emplace_back("          <alter>" + alter + "</alter>");
  }
  lines_.emplace_back("          <octave>" + octave + "</octave>");
  lines_.emplace_back("          </pitch>");
  lines_.emplace_back("        <duration>" + duration + "</duration>");
  lines_.emplace_back("        <voice>1</voice>");
  lines_.emplace_back("        <type>quarter</type>");
  lines_.emplace_back("        </note>");
  return *this;
}

Score& Score::rest(const std::string& duration) {
  lines_.emplace_back("      <note>");
  lines_.emplace_back("        <rest/>");
  lines_.emplace_back("        <duration>" + duration + "</duration>");
  lines_.emplace_back("        <voice>1</voice>");
  lines_.emplace_back("        </note>");
  return *this;
}

Score& Score::line(const std::string& raw) {
  lines_.emplace_back(raw);
  return *this;
}

Score& Score::close() {
  lines_.emplace_back("      </measure>");
  lines_.emplace_back("    </part>");
  lines_.emplace_back("  </score-partwise>");
  return *this;
}

std::string Score::text(const std::string& eol, bool final_line_end) const {
  std::string file;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    file += lines_[i];
    if (i + 1 < lines_.size() || final_line_end) {
      file += eol;
    }
  }
  return file;
}

}  // namespace testing_support
