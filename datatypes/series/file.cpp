#include "datatypes/series/file.hpp"

#include <algorithm>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/url.hpp"
#include "interpreter/stack.hpp"
#include "platform/platform.hpp"
#include "services/files.hpp"

namespace zun::file {

namespace {

// Code points the lexer takes as delimiters: a plain %name holding one would
// not load back as one file.
bool unicode_delimiter_q(uint32_t c) {
    return c == 133 || c == 160 || c == 5760 || (c >= 8192 && c <= 8203) || c == 8232 ||
           c == 8233 || c == 8239 || c == 8287 || c == 12288 || c == 6158;
}

bool needs_quotes_q(uint32_t c) {
    if (c < 128) return !url::keeps_byte_q(url::WIDE_MODE, c);
    return (c >= 0x80 && c <= 0x9F) || unicode_delimiter_q(c);
}

bool absolute_q(Cell* file) {
    return string::length_from_head(file) > 0 &&
           string::char_at(file, string::head_index(file)) == '/';
}

}  // namespace

void to_os_path(Cell* file, Cell* target, bool full) {
    if (full && !absolute_q(file)) {
        std::string dir = platform::get_current_dir();
        if (dir.empty() || dir.back() != '/') dir += '/';
        string::append_utf8(target, dir.data(), uint32_t(dir.size()));
    }
    int32_t n = string::length_from_head(file);
    if (n > 0) string::concatenate(target, file, n, 0, false, string::APPEND_MODE);
}

bool to_os_c_string(Cell* file, std::string& out) {
    out = url::utf8_of(file);
    return out.find('\0') == std::string::npos;
}

Cell* get_current_dir() {
    std::string dir = platform::get_current_dir();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return string::load_c_text(dir.data(), uint32_t(dir.size()), 0);
}

Cell* push_copy(const Cell* file) { return stack::push(file); }

// %name, or %"name" when the name holds characters that end a plain file
// token; inside the quotes the characters the lexer decodes are escaped so
// the molded text loads back as the same file.
int mold(Cell* value_in, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    Cell copy = *value_in;  // the caller's cell may lie where appending moves things
    Cell* value = &copy;
    int32_t length = string::length_from_head(value);
    int32_t n = arg && part != 0 ? std::clamp(part, 0, length) : length;
    string::append_c_string(buffer, "%");
    if (length == 0) {
        string::append_c_string(buffer, "\"\"");
        return part - n - 1;
    }
    int32_t head = string::head_index(value);
    bool quoted = false;
    for (int32_t i = 0; i < n && !quoted; i++) quoted = needs_quotes_q(string::char_at(value, head + i));
    if (!quoted) {
        string::concatenate(buffer, value, n, 0, false, string::APPEND_MODE);
        return part - n - 1;
    }
    string::append_c_string(buffer, "\"");
    for (int32_t i = 0; i < n; i++) {
        uint32_t c = string::char_at(value, head + i);
        // A quoted file token ends at the first double quote, even after a
        // caret: that one takes the hex form.
        if (c == '"')
            string::append_c_string(buffer, "^(22)");
        else if (c < 0x20 || c == '^' || c == 0x7F || (c >= 0x80 && c <= 0x9F))
            string::append_escaped_char(buffer, c, false);
        else
            string::append_char(string::buffer_of(buffer), c);
    }
    string::append_c_string(buffer, "\"");
    return part - n - 1;
}

Cell* delete_(Cell* file) {
    return stack::push(file_io::delete_(file) ? &shared_true_cell : &shared_false_cell);
}

Cell* query(Cell* file) { return file_io::query(file); }

Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool, Cell* as) {
    if (as) support::fire_error(ErrorId::internal_not_done);
    return file_io::read_target(source, part, seek, binary, lines);
}

Cell* rename(Cell* from, Cell* to) {
    if (!string::any_string_q(to->type())) support::fire_error(ErrorId::script_invalid_arg, to);
    return stack::push(file_io::rename(from, to) ? &shared_true_cell : &shared_false_cell);
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool, bool append,
            Cell* part, Cell* seek, Cell* allow, Cell* as) {
    if (allow || as) support::fire_error(ErrorId::internal_not_done);
    (void)file_io::write_target(destination, data, part, seek, binary, append, lines);
    return stack::push(&shared_unset_cell);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), own<A_MOLD>(&mold),
        /*  7 */ inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(), inherit<A_CHANGE>(),
        /* 29 */ inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), E, inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, own<A_DELETE>(&delete_),
        /* 55 */ inherit<A_MODIFY>(), E, E, own<A_QUERY>(&query), own<A_READ>(&read),
        /* 60 */ own<A_RENAME>(&rename), E, own<A_WRITE>(&write));
    registry::register_type(TYPE_FILE, TYPE_URL, "file!", slots);
}

}  // namespace zun::file
