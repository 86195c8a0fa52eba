#include "services/files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/date.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/file.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/url.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun::file_io {

namespace {

// A series buffer stays below this many bytes.
constexpr int64_t MAX_BYTES = 0x7FFFFFF0;
constexpr size_t CHUNK = 65536;

// Closes the descriptor on every way out, errors included.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    // Closes now: false when the system reports an error (a write it could
    // not complete, such as on a full disk).
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

[[noreturn]] void fire_cannot_open(const Cell* path) {
    support::fire_error(ErrorId::access_cannot_open, path ? path : &shared_none_cell);
}

// The file (none for standard output) and the system's reason, from errno.
[[noreturn]] void fire_write_error(const Cell* path) {
    const char* reason = std::strerror(errno);
    const Cell target = path ? *path : shared_none_cell;
    const Cell text = *string::load_c_text(reason, uint32_t(std::strlen(reason)), 0);
    support::fire_error(ErrorId::access_write_error, &target, &text);
}

// A /part or /seek position: an integer!, or a whole float! for positions
// past 2 GB (a file's size answers a float! there).
int64_t position_of(const Cell* value) {
    if (!value->is(TYPE_FLOAT)) return support::to_int_checked(value);
    const double d = value->as_double();
    if (!(d >= -9.2e18 && d <= 9.2e18)) support::fire_error(ErrorId::script_out_of_range, value);
    return int64_t(d);
}

std::string os_path_or_raise(Cell* file) {
    std::string path;
    if (!file::to_os_c_string(file, path)) fire_cannot_open(file);
    return path;
}

// A negative /part limits nothing; a negative /seek starts at the beginning.
int64_t part_of(const Cell* value) {
    if (!value) return ABSENT;
    int64_t n = position_of(value);
    return n < 0 ? ABSENT : n;
}
int64_t seek_of(const Cell* value) {
    if (!value) return ABSENT;
    int64_t n = position_of(value);
    return n < 0 ? 0 : n;
}

// pread/read until count bytes or the end; -1 on an error.
int64_t read_fully(int fd, uint8_t* out, int64_t count, int64_t offset) {
    int64_t done = 0;
    while (done < count) {
        ssize_t n = offset >= 0 ? ::pread(fd, out + done, size_t(count - done), off_t(offset + done))
                                : ::read(fd, out + done, size_t(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

bool write_fully(int fd, const char* data, size_t count) {
    while (count > 0) {
        ssize_t n = ::write(fd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= size_t(n);
    }
    return true;
}

// The bytes the file holds from seek on, at most part of them (ABSENT: all).
bool read_bytes(int fd, int64_t part, int64_t seek, std::vector<uint8_t>& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return false;
    int64_t from = seek == ABSENT ? 0 : seek;
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        int64_t count = std::max<int64_t>(int64_t(st.st_size) - from, 0);
        if (part != ABSENT && part < count) count = part;
        if (count > MAX_BYTES) support::fire_error(ErrorId::script_too_long);
        out.resize(size_t(count));
        int64_t got = read_fully(fd, out.data(), count, from);
        if (got < 0) return false;
        out.resize(size_t(got));  // the file may have shrunk meanwhile
        return true;
    }
    // A size of 0 says nothing for pipes and /proc files: read to the end
    // (or as far as seek + part reaches), then keep the asked range.
    int64_t wanted = part == ABSENT ? INT64_MAX : from + part;
    out.clear();
    while (int64_t(out.size()) < wanted) {
        size_t at = out.size();
        size_t step = size_t(std::min<int64_t>(int64_t(CHUNK), wanted - int64_t(at)));
        if (int64_t(at + step) > MAX_BYTES + from) support::fire_error(ErrorId::script_too_long);
        out.resize(at + step);
        int64_t got = read_fully(fd, out.data() + at, int64_t(step), -1);
        if (got < 0) return false;
        out.resize(at + size_t(got));
        if (size_t(got) < step) break;
    }
    int64_t skip = std::min<int64_t>(from, int64_t(out.size()));
    out.erase(out.begin(), out.begin() + skip);
    return true;
}

Cell* push_binary(const uint8_t* bytes, size_t count) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_UNSET);
    NodeId node = memory::alloc_bytes(uint32_t(count));
    memory::SeriesBuffer* b = memory::buffer_of(node);
    if (count) std::memcpy(b->data(), bytes, count);
    b->head = 0;
    b->tail = uint32_t(count);
    *cell = make_cell(TYPE_BINARY, 0, node, 0);
    return cell;
}

// A name from the OS: UTF-8 when it is, else one character per byte, so that
// a listing never fails on a foreign name.
Cell* append_name(const Cell* block, const std::string& name, uint32_t type) {
    auto* p = reinterpret_cast<const uint8_t*>(name.data());
    Cell* cell;
    if (unicode::is_valid_utf8(p, p + name.size())) {
        cell = string::load_c_text_in(name.data(), uint32_t(name.size()), block, 0);
    } else {
        Cell* text = stack::push_cell();
        string::make_at(text, uint32_t(name.size()), 1);
        string::append_bytes(text, p, uint32_t(name.size()));
        cell = support::append_cell(block);
        *cell = *text;
        stack::pop(1);
    }
    cell->set_type(type);
    return cell;
}

// The bytes a value writes: a string! as UTF-8 (part: characters), a
// binary! as it is (part: bytes), anything else molded.
void append_bytes_of(Cell* value, int64_t part, std::string& out) {
    uint32_t t = value->type();
    if (t == TYPE_STRING) {
        out += url::utf8_of(value, part == ABSENT ? -1 : int32_t(part));
        return;
    }
    if (t == TYPE_BINARY) {
        memory::SeriesBuffer* b = memory::buffer_of(value->data2);
        int64_t head = std::clamp<int64_t>(int32_t(value->data1), 0, b->used());
        int64_t count = int64_t(b->used()) - head;
        if (part != ABSENT && part < count) count = part;
        out.append(reinterpret_cast<const char*>(b->head_ptr() + head), size_t(count));
        return;
    }
    stack::StackScope scope;
    Cell copy = *value;
    Cell* v = stack::push(&copy);
    Cell* text = stack::push_cell();
    string::make_at(text, 64, 1);
    actions::mold_direct(v, text, false, false, false, nullptr, INT_MAX, 0);
    out += url::utf8_of(text, part == ABSENT ? -1 : int32_t(part));
}

bool ends_with_slash_q(Cell* file) {
    int32_t n = string::length_from_head(file);
    if (n == 0) return false;
    uint32_t c = string::char_at(file, string::head_index(file) + n - 1);
    return c == '/' || c == '\\';
}

}  // namespace

bool dir_path_q(Cell* file) {
    int32_t n = string::length_from_head(file);
    if (n == 0) return false;
    int32_t head = string::head_index(file);
    auto at = [&](int32_t back) { return back <= n ? string::char_at(file, head + n - back) : 0u; };
    auto slash = [](uint32_t c) { return c == '/' || c == '\\'; };
    uint32_t c1 = at(1), c2 = at(2), c3 = at(3);
    if (slash(c1)) return true;
    if (c1 == '.' && (n == 1 || slash(c2))) return true;
    if (c1 == '.' && c2 == '.' && (n == 2 || slash(c3))) return true;
    return false;
}

Cell* read_file(const char* path, int64_t part, int64_t seek, bool binary, bool lines) {
    std::vector<uint8_t> bytes;
    {
        Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
        if (!fd.ok()) return nullptr;
        bool read = support::no_memory_guard([&] { return read_bytes(fd.get(), part, seek, bytes); });
        if (!read) return nullptr;
    }
    if (binary) return push_binary(bytes.data(), bytes.size());
    if (lines) return split_lines(bytes.data(), bytes.size());
    return load_text(bytes.data(), bytes.size());
}

Cell* read_target(Cell* source, Cell* part, Cell* seek, bool binary, bool lines) {
    if (dir_path_q(source)) return list_directory(source);
    std::string path = os_path_or_raise(source);
    Cell* result = read_file(path.c_str(), part_of(part), seek_of(seek), binary, lines);
    if (!result) fire_cannot_open(source);
    return result;
}

Cell* split_lines(const uint8_t* bytes, size_t count) {
    Cell* block = block::push_new(16);
    const uint8_t* p = bytes;
    const uint8_t* end = bytes + count;
    if (end - p >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3;
    while (p < end) {
        const uint8_t* lf = static_cast<const uint8_t*>(std::memchr(p, '\n', size_t(end - p)));
        const uint8_t* stop = lf ? lf : end;
        const uint8_t* text_end = lf && stop > p && stop[-1] == '\r' ? stop - 1 : stop;
        string::load_c_text_in(reinterpret_cast<const char*>(p), uint32_t(text_end - p), block, 0);
        p = lf ? lf + 1 : end;
    }
    return block;
}

Cell* load_text(const uint8_t* bytes, size_t count) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_UNSET);
    NodeId node = unicode::load_utf8(bytes, uint32_t(count), 0, nullptr, true);
    *cell = make_cell(TYPE_STRING, 0, node, 0);
    return cell;
}

int64_t write_target(Cell* destination, Cell* value, Cell* part, Cell* seek, bool, bool append,
                     bool lines) {
    int64_t limit = ABSENT;
    if (part) {
        if (!part->is(TYPE_INTEGER)) {
            Cell word = *refinements::get(refinements::part);
            word.set_type(TYPE_WORD);
            support::fire_error(ErrorId::script_invalid_refine_arg, &word, part);
        }
        if (part->as_int() < 0) return -1;
        limit = part->as_int();
    }
    int64_t offset = seek_of(seek);
    // Text goes out with LF line ends, so text and binary writes differ only
    // in which values they accept, not in the bytes.
    std::string data;
    support::no_memory_guard([&] {
        if (lines && value->is(TYPE_BLOCK)) {
            stack::StackScope scope;
            Cell* item = stack::push(&shared_unset_cell);
            NodeId node = value->data2;
            for (int32_t i = std::max(int32_t(value->data1), 0);; i++) {
                memory::SeriesBuffer* b = memory::buffer_of(node);
                if (i >= int32_t(b->used() / sizeof(Cell))) break;
                *item = b->head_cell()[i];  // on the stack while it is molded
                append_bytes_of(item, ABSENT, data);
                data += '\n';
            }
        } else {
            append_bytes_of(value, limit, data);
            if (lines) data += '\n';
        }
    });

    if (!destination) {
        std::fflush(stdout);
        if (!write_fully(STDOUT_FILENO, data.data(), data.size())) fire_write_error(nullptr);
        return int64_t(data.size());
    }
    std::string path = os_path_or_raise(destination);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    // A seek never truncates: it writes over the bytes there.
    if (append) flags |= O_APPEND;
    else if (offset == ABSENT) flags |= O_TRUNC;
    Fd fd(::open(path.c_str(), flags, 0666));
    if (!fd.ok()) fire_cannot_open(destination);
    if (offset > 0 && !append && ::lseek(fd.get(), off_t(offset), SEEK_SET) < 0)
        fire_cannot_open(destination);
    if (!write_fully(fd.get(), data.data(), data.size()) || !fd.close())
        fire_write_error(destination);
    return int64_t(data.size());
}

Cell* list_directory(Cell* path) {
    std::string dir = os_path_or_raise(path);
    std::vector<std::string> names;
    {
        DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
        if (!d) fire_cannot_open(path);
        if (!dir.empty() && dir.back() != '/') dir.push_back('/');
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            bool is_dir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                struct stat st {};
                is_dir = ::stat((dir + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            if (is_dir) name += '/';
            names.push_back(std::move(name));
        }
        ::closedir(d);
    }
    // readdir's order depends on the file system: sorted, a listing is the
    // same everywhere.
    std::sort(names.begin(), names.end());
    Cell* block = block::push_new(int32_t(names.size()));
    for (const std::string& name : names) append_name(block, name, TYPE_FILE);
    return block;
}

bool modified_time(Cell* file, FileTime* out) {
    std::string path;
    if (!file::to_os_c_string(file, path)) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (ends_with_slash_q(file) && !S_ISDIR(st.st_mode)) return false;
    std::tm tm{};
    time_t seconds = st.st_mtim.tv_sec;
    if (!::gmtime_r(&seconds, &tm)) return false;
    *out = FileTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                    tm.tm_sec, int32_t(st.st_mtim.tv_nsec)};
    return true;
}

Cell* query(Cell* file) {
    FileTime time{};
    if (!modified_time(file, &time)) return stack::push(&shared_none_cell);
    Cell* cell = stack::push_cell();
    return date::init_with_time(cell, time.year, time.month, time.day, time.hour, time.minute,
                                time.second, time.nanoseconds);
}

bool delete_(Cell* file) {
    std::string path;
    if (!file::to_os_c_string(file, path)) return false;
    return (dir_path_q(file) ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0;
}

bool rename(Cell* from, Cell* to) {
    std::string old_path, new_path;
    if (!file::to_os_c_string(from, old_path) || !file::to_os_c_string(to, new_path)) return false;
    return std::rename(old_path.c_str(), new_path.c_str()) == 0;
}

bool create_directory(const char* path) { return ::mkdir(path, 0777) == 0; }

bool exists_q(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0;
}

int64_t file_size(const char* path) {
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0) return -1;
    return int64_t(st.st_size);
}

}  // namespace zun::file_io
