// The start-up system object's fields that only the start-up code can fill,
// and the command-line fields a script run sees.
#pragma once

namespace zun::system_object {

// Keeps the program's command line (before the runtime starts).
void set_command_line(int argc, const char* const* argv);

// After the routines are bound: fills version, words (the object over the
// global context), the collector routines of state/GC, the routines the
// library's system module builds its handlers from, script/args (the whole
// command line, program name first), options/boot (the program) and
// options/args (the block of the other arguments).
void prepare();

// Before a script runs: options/boot (the program, when nothing set it),
// options/script (the script file), options/args (the script's own
// arguments) and script/args (those joined), in the system object the word
// system holds.
void apply_command_line(const char* script);

// While the library's modules load: system/state/interpreted? then answers
// false, as no script code is on the call chain.
class LibraryLoad {
public:
    LibraryLoad();
    ~LibraryLoad();
    LibraryLoad(const LibraryLoad&) = delete;
    LibraryLoad& operator=(const LibraryLoad&) = delete;

private:
    bool m_saved;
};

}  // namespace zun::system_object
