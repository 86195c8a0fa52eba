// Running a script file without the console: read, scan, evaluate.
#pragma once

namespace zun::startup {

// Answers the process exit status: 0 when the script ran to its end, 1 when an
// error stopped it (the report goes to standard error), 2 when the file could
// not be read or scanned.
int run_script(const char* path);

// The program's entry after start-up: loads the library and hands over to
// the console engine's launch, which runs the script named among the
// arguments, or the read-eval-print loop. Answers the exit status.
int run_console(int argc, char** argv);

// What run_console reads before the console starts, without starting it:
// the boot tool records the texts start-up reads this way.
void read_startup_texts();

}  // namespace zun::startup
