// What several test files share: the worked example of notepack, a plain note
// element, the header declaration line, and the reading of a header file.
#pragma once

#include <string>

namespace testing_support {

inline const std::string kDeclaration = "const PROGMEM unsigned char notes[]=\\\r\n";

// What standard error holds after a score could not be read to its end.
inline const std::string kReadErrorReport = "\r\nAborting due to runtime error 3 (file I/O error)\r\n\r\n";

// What arvonic prints before its first prompt, and the two prompts answered
// with empty replies.
inline const std::string kArvonicBanner =
    "ARVONIC converts MusicXML files\r\n"
    "from MuseScore 4 to Arduino VELMORA .h files\r\n"
    "(QB/QBasic PLAY statement format)\r\n"
    "Copyright (c) 2026 the arvonic authors\r\n" +
    std::string(79, '_') + "\r\n\r\n";
inline const std::string kDefaultNames = " input file [score]:\r\noutput file [score]:\r\n";

// notepack's worked example: 36 lines, each ending with a line feed, and the
// progress lines it shows before "ok".
extern const std::string kNotepackExample;
inline const std::string kNotepackExampleWindow =
    "noteC42\r\nnoteF41\r\nALT !\r\npause !\r\nrest4\r\nnoteA58\r\n";

// A note element without attributes; an empty alter leaves the alter line out.
std::string plain_note(const std::string& step, const std::string& octave, const std::string& duration,
                       const std::string& alter = "");

// The string a header file declares: its quoted pieces joined.
std::string header_string(const std::string& header);

}  // namespace testing_support
