#include "services/os_info.hpp"

#include <sys/utsname.h>

#include <cstring>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

extern char** environ;

namespace zun::os_info {

namespace {

std::vector<std::string>& stored_arguments() {
    static std::vector<std::string> args;
    return args;
}
std::string& program_name() {
    static std::string name;
    return name;
}

}  // namespace

// An argument that is empty or holds blanks or quotes goes in double quotes,
// with the characters a shell treats specially there escaped by a backslash,
// so a shell would read the line back into the same arguments.
void append_argument(std::string& text, const std::string& argument) {
    if (!text.empty()) text += ' ';
    if (!argument.empty() && argument.find_first_of(" \t\n\"'\\$`") == std::string::npos) {
        text += argument;
        return;
    }
    text += '"';
    for (char c : argument) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') text += '\\';
        text += c;
    }
    text += '"';
}

namespace {

// Moves the top value to the block's tail.
void append_top(Cell* block) {
    Cell* slot = support::append_cell(block);
    *slot = *stack::top();
    stack::pop(1);
}

void append_value(Cell* block, const Cell& value) { *support::append_cell(block) = value; }

void append_set_word(Cell* block, const char* name) {
    append_value(block, word::make_value(TYPE_SET_WORD, 0, symbol::make(name), 0));
}

const char* arch_word(const char* machine) {
    struct Row {
        const char* machine;
        const char* word;
    };
    static constexpr Row k_rows[] = {
        {"x86_64", "x86-64"}, {"amd64", "x86-64"}, {"i386", "x86-32"}, {"i486", "x86-32"},
        {"i586", "x86-32"},   {"i686", "x86-32"},  {"aarch64", "ARM64"}, {"arm64", "ARM64"},
        {"ia64", "IA-64"},
    };
    for (const Row& r : k_rows)
        if (std::strcmp(machine, r.machine) == 0) return r.word;
    if (std::strncmp(machine, "arm", 3) == 0) return "ARM";
    return "Unknown";
}

}  // namespace

void set_command_line(int argc, const char* const* argv) {
    auto& args = stored_arguments();
    args.clear();
    program_name() = argc > 0 && argv[0] ? argv[0] : "";
    for (int i = 1; i < argc; i++) args.emplace_back(argv[i]);
}

const std::vector<std::string>& arguments() { return stored_arguments(); }

std::string joined_arguments() {
    std::string text;
    for (const std::string& a : stored_arguments()) append_argument(text, a);
    return text;
}

Cell* push_command_line() {
    std::string text;
    append_argument(text, program_name());
    for (const std::string& a : stored_arguments()) append_argument(text, a);
    return push_text(text.data(), text.size());
}

void expect_type(const Cell* value, uint32_t type) {
    if (value->type() != type) support::fire_error(ErrorId::script_invalid_arg, value);
}

Cell* push_script_args() {
    const std::string text = joined_arguments();
    return push_text(text.data(), text.size());
}

Cell* push_options_args() {
    const auto& args = stored_arguments();
    Cell* block = block::push_new(int32_t(args.size()));
    for (const std::string& a : args) {
        push_text(a.data(), a.size());
        append_top(block);
    }
    return block;
}

std::string valid_utf8(const char* text, size_t length) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + length;
    std::string out;
    out.reserve(length);
    while (p < end) {
        if (*p < 0x80) {
            out += char(*p++);
            continue;
        }
        int32_t code_point;
        const uint8_t* next = unicode::decode_utf8_char(p, end, &code_point);
        if (code_point == unicode::REJECTED) out += "\xEF\xBF\xBD";
        else out.append(reinterpret_cast<const char*>(p), size_t(next - p));
        p = next;
    }
    return out;
}

Cell* push_text(const char* text, size_t length) {
    const std::string valid = valid_utf8(text, length);
    Cell* str = string::make_empty_at(stack::push_cell(), uint32_t(valid.size()));
    string::append_utf8(str, valid.data(), uint32_t(valid.size()));
    return str;
}

Cell* push_env_map() {
    Cell* block = block::push_new(100);
    for (char** entry = environ; entry && *entry; entry++) {
        const char* text = *entry;
        // A leading '=' belongs to the name.
        const char* equals = text[0] ? std::strchr(text + 1, '=') : nullptr;
        if (!equals) continue;
        push_text(text, size_t(equals - text));
        append_top(block);
        push_text(equals + 1, std::strlen(equals + 1));
        append_top(block);
    }
    Cell* map = stack::push_cell();
    *map = make_cell(TYPE_NONE);
    map::make_at(map, block, 0);
    *block = *map;
    stack::pop(1);
    return block;
}

Info query() {
    Info info;
    utsname u{};
    if (uname(&u) != 0) {
        info.name = "Linux";
        info.arch = "Unknown";
        return info;
    }
    info.name = std::string(u.sysname) + " " + u.release;
    info.arch = arch_word(u.machine);
    // "6.1.0-13-amd64": version 6.1.0, build 13.
    const char* p = u.release;
    for (int i = 0; i < 3; i++) {
        uint32_t n = 0;
        bool digits = false;
        while (*p >= '0' && *p <= '9') {
            n = n * 10 + uint32_t(*p++ - '0');
            digits = true;
            if (n > 255) n = 255;
        }
        if (!digits) break;
        info.version[i] = uint8_t(n);
        if (*p != '.') break;
        p++;
    }
    while (*p && *p != '-') p++;
    if (*p == '-') {
        int64_t build = 0;
        p++;
        while (*p >= '0' && *p <= '9' && build < INT32_MAX) build = build * 10 + (*p++ - '0');
        info.build = int32_t(build > INT32_MAX ? INT32_MAX : build);
    }
    return info;
}

Cell* push_os_info() {
    const Info info = query();
    Cell* spec = block::push_new(8);
    append_set_word(spec, "name");
    push_text(info.name.data(), info.name.size());
    append_top(spec);
    append_set_word(spec, "arch");
    append_value(spec, *word::make_global(info.arch.c_str()));
    append_set_word(spec, "version");
    Cell tuple = make_cell(TYPE_TUPLE | (3u << 19));
    std::memcpy(&tuple.data1, info.version, 3);
    append_value(spec, tuple);
    append_set_word(spec, "build");
    append_value(spec, integer_cell(info.build));
    Cell* object = object::push_new(&shared_none_cell, spec, true);
    *spec = *object;
    stack::pop(1);
    return spec;
}

}  // namespace zun::os_info
