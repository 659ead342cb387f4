// arvonic SCORE: converts any MusicXML export without dialogue, options as
// Linux tools take them, a report on standard error.
#pragma once

#include "runtime/platform/platform.hpp"

namespace arvonic {

// The whole run for a command line with arguments; the answer is the exit
// status: 0 converted, 1 the score could not be, 2 wrong usage.
int run_direct(rt::Platform& platform, int argc, char** argv);

// The help text for both ways of running arvonic.
extern const char* const kUsage;

}  // namespace arvonic
