// Runs a firmware image on a simulated ATmega328P at 16 MHz and records what
// pin PB0 (digital pin 8 of an Uno) does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace chip {

inline constexpr double kCyclesPerSecond = 16e6;

struct PinEdge {
  std::uint64_t cycle;
  bool high;
};

struct PinTrace {
  std::vector<PinEdge> edges;
  std::string error;        // why the firmware did not run, empty when it did
  double real_seconds = 0;  // how long the simulation took
};

// Runs the ELF file for the given simulated seconds.
PinTrace run_firmware(const std::string& elf_path, double seconds);

}  // namespace chip
