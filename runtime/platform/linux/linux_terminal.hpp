// The terminal's own mode, taken over once and given back on every way the
// process can end: normal end, run-time error, and the signals that end it.
// Ctrl+Z gives it back while the process is stopped and takes it again after.
#pragma once

namespace rt::linux_terminal {

// Installs the handlers of the signals that end the process (SIGINT, SIGQUIT,
// SIGTERM, SIGHUP), of Ctrl+Z (SIGTSTP) and of SIGCONT. An ending signal
// removes a partial file, gives the terminal back and then takes its default
// effect, so the exit status is the platform's. Called first thing; idempotent.
void watch_signals();

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

// True once after the process was stopped and continued: a line being edited
// must be drawn again.
bool take_resumed();
// Becomes readable when the process is continued, so that a wait for a key
// wakes up to draw the line again; -1 when there is none. Drained by take_resumed.
int resume_descriptor();

// The name of a file that is only part of an output being written; an ending
// signal removes it. Kept in a fixed buffer the handler can read safely.
void note_partial_file(const char* path);
void forget_partial_file();

// Gives back everything taken over. Safe to call more than once.
void restore();

// Ends the process as a hang-up of the terminal does (everything given back,
// SIGHUP re-raised); also what a lost connection to the desktop does.
[[noreturn]] void hang_up();

}  // namespace rt::linux_terminal
