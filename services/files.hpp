// The file service: local files and directories through POSIX calls, with
// 64-bit sizes and offsets. Paths arrive as file! values and are turned into
// OS paths by file::to_os_c_string before every call. Text is read as UTF-8
// (a leading byte-order mark skipped, CR LF read as LF) and written as UTF-8
// with LF line ends.
//
// Every handle opened is closed before the operation returns, also when it
// raises.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/cell.hpp"

namespace zun::file_io {

constexpr int64_t ABSENT = -1;

// Whether the text names a directory: it ends with "/" (or "\"), or it is
// "." or ".." or ends with "/." or "/..".
bool dir_path_q(Cell* file);

// Pushes what the path holds: a directory's listing, or the file's bytes as a
// binary!, a block! of lines or a string!. part and seek are numbers or
// nullptr. A file that cannot be read raises access cannot-open with the path.
Cell* read_target(Cell* source, Cell* part, Cell* seek, bool binary, bool lines);
// Pushes the value read from the OS path, or answers nullptr (nothing pushed)
// when the file cannot be opened or read. part and seek are ABSENT or >= 0.
// Files whose size the OS reports as 0 (pipes, /proc) are read to their end.
Cell* read_file(const char* path, int64_t part, int64_t seek, bool binary, bool lines);

// Writes the value to the file, or to standard output when destination is
// nullptr: a block! with lines item by item, each on its own line; a string!
// as UTF-8; a binary! as its bytes; any other value molded. Answers the bytes
// written, or -1 for a negative part (nothing is written). A file that cannot
// be opened or written raises access cannot-open with the path; a part that
// is not an integer! raises script invalid-refine-arg.
int64_t write_target(Cell* destination, Cell* value, Cell* part, Cell* seek, bool binary,
                     bool append, bool lines);

// Pushes a block! of file! names, directories with a trailing "/", sorted by
// name; "." and ".." are left out. The path value is not changed. A directory
// that cannot be listed raises access cannot-open with the path.
Cell* list_directory(Cell* path);

struct FileTime {
    int32_t year, month, day, hour, minute, second;
    int32_t nanoseconds;
};
// The last write time (UTC) of the file; false when it cannot be had, or when
// the path ends with "/" but names no directory.
bool modified_time(Cell* file, FileTime* out);
// Pushes the file's last write time as a date!, or none.
Cell* query(Cell* file);
// A directory path (dir_path_q) removes the directory, any other the file.
bool delete_(Cell* file);
bool rename(Cell* from, Cell* to);
bool create_directory(const char* path);
bool exists_q(const char* path);
// The size in bytes, or -1 when the file cannot be opened.
int64_t file_size(const char* path);

// Pushes a block! of the lines: split at LF, a CR before the LF dropped; the
// text after the last LF is the last line. The bytes must not lie inside a
// series buffer.
Cell* split_lines(const uint8_t* bytes, size_t count);
// Pushes a string! of the UTF-8 text, the byte-order mark skipped and CR LF
// read as LF.
Cell* load_text(const uint8_t* bytes, size_t count);

}  // namespace zun::file_io
