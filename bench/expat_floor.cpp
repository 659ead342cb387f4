// The floor any XML-reading converter stands on: expat reading a score with
// no handlers at all, in the chunks the score reader uses. Prints the bytes read.
//   expat_floor FILE
#include <expat.h>

#include <cstdio>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: expat_floor FILE\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "expat_floor: cannot open " << argv[1] << "\n";
    return 1;
  }
  XML_Parser parser = XML_ParserCreate(nullptr);
  constexpr int kChunk = 64 << 10;
  long long total = 0;
  for (;;) {
    char* buffer = static_cast<char*>(XML_GetBuffer(parser, kChunk));
    in.read(buffer, kChunk);
    const auto count = static_cast<int>(in.gcount());
    total += count;
    if (XML_ParseBuffer(parser, count, count == 0) != XML_STATUS_OK) {
      std::cerr << "expat_floor: " << XML_ErrorString(XML_GetErrorCode(parser)) << "\n";
      XML_ParserFree(parser);
      return 1;
    }
    if (count == 0) {
      break;
    }
  }
  XML_ParserFree(parser);
  std::cout << total << "\n";
  return 0;
}
