// The console on a terminal, until the GUI console exists: lines come from
// standard input, the prompt and results go to standard output.
#pragma once

namespace zun::console_terminal {

// Makes the terminal routines and binds them to their global words; run
// before the library loads, whose console module builds `ask` and `input`
// on them.
void install();

// Ctrl-C while a command runs: recorded here for an evaluator that polls it.
// Answers whether one was pending and clears it.
bool take_interrupt();
// Gives the terminal back to the group the console took it from (the process
// is about to end).
void release_terminal();

}  // namespace zun::console_terminal
