// A compressed MusicXML file (.mxl): a zip archive whose
// META-INF/container.xml names the score inside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "score/xml_feed.hpp"

namespace rt {
class PlatformFile;
}

namespace score {

// The first four bytes of every zip archive.
inline constexpr std::string_view kZipSignature{"PK\x03\x04", 4};

// Streams the score the archive names into feed. head holds the bytes already
// read from the file's start; size is the file's size where it has one (then
// the archive is read with seeks, else held in memory). The answer is empty
// on success, else one line saying what is wrong; member names the score
// inside once it is known, for the parser's messages.
std::string read_compressed_score(rt::PlatformFile& file, std::optional<std::int64_t> size, std::string head,
                                  XmlFeed& feed, std::string& member);

}  // namespace score
