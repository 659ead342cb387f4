// The terminal's own mode, taken over once and given back on every way the
// process can end: normal end, run-time error, and the signals that end it.
#pragma once

namespace rt::linux_terminal {

// Puts standard input, a terminal, into non-canonical mode without echo and
// without CR translation; signal keys keep their effect. Idempotent.
bool enter_raw_mode();

// Asks for SIGIO whenever input arrives on standard input, and calls back
// through the flag set by the handler. False when the descriptor cannot do it.
bool request_input_signal();
// Set by the SIGIO handler; cleared by the reader before it looks for input.
bool take_input_signal();
void mark_input_signal();

// Set when the terminal hung up; the close key is queued from it.
bool take_hangup();

// Gives back everything taken over. Safe to call more than once.
void restore();

// Ends the process as a hang-up of the terminal does (everything given back,
// SIGHUP re-raised); also what a lost connection to the desktop does.
[[noreturn]] void hang_up();

}  // namespace rt::linux_terminal
