#include "fixtures.hpp"

namespace testing_support {

const std::string kNotepackExample =
    "<score-partwise>\n  <part>\n    <measure>\n"
    "      <note>\n        <pitch>\n          <step>C</step>\n          <octave>4</octave>\n"
    "        </pitch>\n        <duration>2</duration>\n        <voice>1</voice>\n      </note>\n"
    "      <note>\n        <pitch>\n          <step>F</step>\n          <alter>1</alter>\n"
    "          <octave>4</octave>\n        </pitch>\n        <duration>1</duration>\n"
    "        <voice>1</voice>\n      </note>\n"
    "      <note>\n        <rest/>\n        <duration>4</duration>\n        <voice>1</voice>\n      </note>\n"
    "      <note>\n        <pitch>\n          <step>A</step>\n          <octave>5</octave>\n"
    "        </pitch>\n        <duration>8</duration>\n        <voice>1</voice>\n      </note>\n"
    "    </measure>\n  </part>\n</score-partwise>\n";

std::string plain_note(const std::string& step, const std::string& octave, const std::string& duration,
                       const std::string& alter) {
  std::string element = "<note>\n<pitch>\n<step>" + step + "</step>\n";
  if (!alter.empty()) {
    element += "<alter>" + alter + "</alter>\n";
  }
  return element + "<octave>" + octave + "</octave>\n</pitch>\n<duration>" + duration +
         "</duration>\n<voice>1</voice>\n</note>\n";
}

std::string header_string(const std::string& header) {
  std::string joined;
  for (std::size_t at = kDeclaration.size(); at < header.size();) {
    const auto end = header.find("\r\n", at);
    std::string piece = header.substr(at, end - at);
    if (!piece.empty() && piece.back() == ';') {
      piece.pop_back();
    }
    joined += piece.substr(1, piece.size() - 2);
    at = end + 2;
  }
  return joined;
}

}  // namespace testing_support
