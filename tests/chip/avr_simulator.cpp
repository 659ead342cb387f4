#include "avr_simulator.hpp"

#include <avr_ioport.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_io.h>

#include <chrono>
#include <cstdarg>
#include <memory>

namespace chip {
namespace {

struct Recorder {
  avr_t* avr;
  std::vector<PinEdge>* edges;
};

void record_edge(avr_irq_t* /*irq*/, std::uint32_t value, void* param) {
  auto* recorder = static_cast<Recorder*>(param);
  const bool high = value != 0;
  // The port reports every write; only changes of the level are edges.
  if (recorder->edges->empty() || recorder->edges->back().high != high) {
    recorder->edges->push_back({recorder->avr->cycle, high});
  }
}

// The simulator's own messages ("Loaded 4392 .text") would clutter the output.
void quiet(avr_t* /*avr*/, const int /*level*/, const char* /*format*/, va_list /*arguments*/) {}

}  // namespace

PinTrace run_firmware(const std::string& elf_path, double seconds) {
  PinTrace trace;
  avr_global_logger_set(quiet);
  elf_firmware_t firmware{};
  if (elf_read_firmware(elf_path.c_str(), &firmware) != 0) {
    trace.error = "cannot read " + elf_path;
    return trace;
  }
  const std::unique_ptr<avr_t, void (*)(avr_t*)> avr(avr_make_mcu_by_name("atmega328p"), [](avr_t* done) {
    avr_terminate(done);
    free(done);  // NOLINT(cppcoreguidelines-no-malloc): the simulator allocates with malloc
  });
  if (!avr || avr_init(avr.get()) != 0) {
    trace.error = "the simulator knows no atmega328p";
    return trace;
  }
  avr->frequency = static_cast<std::uint32_t>(kCyclesPerSecond);
  avr_load_firmware(avr.get(), &firmware);
  Recorder recorder{avr.get(), &trace.edges};
  avr_irq_register_notify(avr_io_getirq(avr.get(), AVR_IOCTL_IOPORT_GETIRQ('B'), IOPORT_IRQ_PIN0),
                          record_edge, &recorder);
  const auto limit = static_cast<avr_cycle_count_t>(seconds * kCyclesPerSecond);
  const auto began = std::chrono::steady_clock::now();
  while (avr->cycle < limit) {
    const int state = avr_run(avr.get());
    if (state == cpu_Done || state == cpu_Crashed) {
      trace.error = state == cpu_Crashed ? "the firmware crashed" : "the firmware stopped";
      break;
    }
  }
  trace.real_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  return trace;
}

}  // namespace chip
