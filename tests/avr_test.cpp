// The headers both converters write, compiled by the target toolchain for an
// ATmega328P: `notes` must land in program memory holding exactly the PLAY
// string and one zero byte. The program file must carry the same string.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fixtures.hpp"
#include "process_runner.hpp"

namespace {

using testing_support::header_string;
using testing_support::TempFolder;

// Runs a shell command in folder; its output goes to folder/output.
int shell(const TempFolder& folder, const std::string& command, const std::string& output = "log") {
  const std::string line = "cd '" + folder.path().string() + "' && " + command + " > " + output + " 2>&1";
  return std::system(line.c_str());
}

std::string program_string(const std::string& program) {
  std::string joined;
  std::istringstream lines(program);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(line.starts_with("PLAY \"") && line.ends_with("\"\r")) << line;
    joined += line.substr(6, line.size() - 8);
  }
  return joined;
}

// The bytes of the symbol in the program-memory image of an ELF file.
std::string flash_bytes(const TempFolder& folder, const std::string& symbol) {
  EXPECT_EQ(shell(folder, "avr-nm -S -C sketch.elf", "symbols"), 0);
  std::istringstream symbols(folder.read("symbols"));
  for (std::string line; std::getline(symbols, line);) {
    // "address size type name"; symbols without a size have three fields.
    std::istringstream fields(line);
    std::string address;
    std::string size;
    std::string type;
    std::string name;
    if (!(fields >> address >> size >> type >> name) || name != symbol) {
      continue;
    }
    // Program memory is the .text section; data memory would be tagged d, b or D.
    EXPECT_TRUE(type == "t" || type == "T") << "notes is in section type " << type;
    EXPECT_EQ(shell(folder, "avr-objdump -t -C sketch.elf | grep -w " + symbol, "where"), 0);
    EXPECT_NE(folder.read("where").find(".text"), std::string::npos) << folder.read("where");
    EXPECT_EQ(shell(folder, "avr-objcopy -O binary -j .text sketch.elf flash.bin"), 0);
    const std::string flash = folder.read("flash.bin");
    return flash.substr(std::stoul(address, nullptr, 16), std::stoul(size, nullptr, 16));
  }
  ADD_FAILURE() << "no symbol " << symbol << " in\n" << folder.read("symbols");
  return {};
}

TEST(TargetToolchain, TheProgramFilePlaysTheHeadersString) {
  TempFolder folder;
  std::filesystem::copy_file(EXAMPLE_SCORE, folder.path() / "score.xml");
  ASSERT_EQ(testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "\n\n").exit_code, 0);
  const std::string arvonic_string = header_string(folder.read("score.h"));
  EXPECT_EQ(arvonic_string, "L8o3D4F2G4A4.B-A4G2E4C4.DE4F2D4D4.C+D4E2C+4o2A2p4");
  EXPECT_EQ(program_string(folder.read("score.bas")), arvonic_string);
}

TEST(TargetToolchain, HeadersCompileIntoProgramMemory) {
  if (std::system("command -v avr-g++ avr-nm avr-objdump avr-objcopy > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "the AVR toolchain is missing: apt-get install gcc-avr avr-libc binutils-avr";
  }
  TempFolder folder;
  std::filesystem::copy_file(EXAMPLE_SCORE, folder.path() / "score.xml");
  ASSERT_EQ(testing_support::run_process(ARVONIC_PROGRAM, folder.path(), "\n\n").exit_code, 0);
  ASSERT_EQ(testing_support::run_process(NOTEPACK_PROGRAM, folder.path(), "").exit_code, 0);

  for (const std::string header : {"score.h", "tarvel.h"}) {
    folder.write("sketch.cpp",
                 "#include <avr/pgmspace.h>\n"
                 "#include \"" +
                     header +
                     "\"\n"
                     "volatile unsigned char played;\n"
                     "int main() {\n"
                     "  for (unsigned i = 0; i < sizeof notes; ++i) {\n"
                     "    played = pgm_read_byte(&notes[i]);\n"
                     "  }\n"
                     "  for (;;) {\n"
                     "  }\n"
                     "}\n");
    ASSERT_EQ(shell(folder, "avr-g++ -mmcu=atmega328p -Os -Wall -Werror -o sketch.elf sketch.cpp"), 0)
        << folder.read("log");
    const std::string expected = header_string(folder.read(header)) + std::string(1, '\0');
    EXPECT_EQ(flash_bytes(folder, "notes"), expected) << header;
  }
}

}  // namespace
