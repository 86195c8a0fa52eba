// file!: file and directory names in the language's notation. On Linux that
// notation is the POSIX path itself: %/home/me/a.txt is /home/me/a.txt, "/"
// separates, and a trailing "/" names a directory. The file actions hand the
// work to the file service (services/files.hpp).
#pragma once
#include <string>

#include "core/cell.hpp"

namespace zun::file {

// Appends the OS form of the file (from its head) to the target string; with
// full, a relative path gets the current directory and "/" before it.
void to_os_path(Cell* file, Cell* target, bool full);
// The OS form as UTF-8 for the system calls; false when the text cannot name
// a file (it holds a NUL, which would cut the name short).
bool to_os_c_string(Cell* file, std::string& out);
// A new string! on the stack: the current directory ending with "/".
Cell* get_current_dir();
Cell* push_copy(const Cell* file);

// Actions.
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* delete_(Cell* file);
Cell* query(Cell* file);
Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell* rename(Cell* from, Cell* to);
Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
            Cell* part, Cell* seek, Cell* allow, Cell* as);

void register_type();

}  // namespace zun::file
