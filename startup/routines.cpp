#include "startup/routines.hpp"

#include "startup/console_terminal.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/console_out.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/file.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "gui/event.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/lexer.hpp"
#include "startup/boot_texts.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/trace.hpp"
#include "platform/platform.hpp"
#include "services/clipboard.hpp"
#include "services/files.hpp"
#include "services/json_text.hpp"
#include "services/os_info.hpp"

namespace zun::routines {

namespace {

using routine::MachineResult;

constexpr int ASSERTION_FAILED = 98;
constexpr uint32_t TUPLE_LENGTH_SHIFT = 19;
constexpr int32_t NONE_RESULT = routine::NO_RETURN_TYPE;

MachineResult integer_result(int32_t n) { return MachineResult{n, 0.0}; }
MachineResult truth(bool b) { return MachineResult{b ? 1 : 0, 0.0}; }
// For routines that write their own result.
MachineResult stored(Cell* args, const Cell& value) {
    args[0] = value;
    return MachineResult{};
}

Cell routine_word(const char* name) {
    return make_cell(TYPE_WORD, 0, symbol::make(name), context::NO_INDEX);
}

[[noreturn]] void expect_arg(const char* routine, const Cell& value, const char* parameter) {
    const Cell name = routine_word(routine), type = make_cell(TYPE_DATATYPE, value.type()),
               param = routine_word(parameter);
    support::fire_error(ErrorId::script_expect_arg, &name, &type, &param);
}

std::string os_path(Cell* file) {
    std::string path;
    if (!file::to_os_c_string(file, path)) path.clear();
    return path;
}

// ---------------------------------------------------------------- environment

MachineResult quit_return(Cell* args) {
    // At once: no clean-up beyond handing over what stdio still holds and
    // the terminal the console took.
    console_terminal::release_terminal();
    console_out::exit_checked(args[0].as_int());
}

MachineResult set_quiet(Cell* args) {
    Cell word = args[0];
    const Cell value = args[1];
    switch (word.type()) {
        case TYPE_WORD: case TYPE_SET_WORD: case TYPE_GET_WORD: case TYPE_LIT_WORD: break;
        default: expect_arg("set-quiet", word, "word");
    }
    context::set_word_value(&word, &value, word.data1, false);
    return stored(args, value);
}

MachineResult set_slot_quiet(Cell* args) {
    const Cell series = args[0], value = args[1];
    switch (series.type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
        case TYPE_GET_PATH: break;
        default: expect_arg("set-slot-quiet", series, "series");
    }
    const int32_t at = block::head_index(&series);
    if (at >= 0 && at < block::length_from_start(&series)) *block::cell_at(&series, at) = value;
    return stored(args, value);
}

uint32_t shift_count(const Cell& bits) { return uint32_t(std::max(bits.as_int(), 0)); }

MachineResult shift_right(Cell* args) {
    const int32_t data = args[0].as_int();
    const uint32_t bits = shift_count(args[1]);
    return stored(args, integer_cell(bits >= 32 ? (data < 0 ? -1 : 0) : data >> bits));
}

MachineResult shift_left(Cell* args) {
    const uint32_t data = uint32_t(args[0].as_int()), bits = shift_count(args[1]);
    return stored(args, integer_cell(int32_t(bits >= 32 ? 0 : data << bits)));
}

MachineResult shift_logical(Cell* args) {
    const uint32_t data = uint32_t(args[0].as_int()), bits = shift_count(args[1]);
    return stored(args, integer_cell(int32_t(bits >= 32 ? 0 : data >> bits)));
}

MachineResult last_lf_q(Cell* args) {
    return stored(args, logic::make_value(natives::last_line_end() != 0));
}

MachineResult get_current_dir(Cell* args) {
    Cell* dir = file::get_current_dir();
    dir->set_type(TYPE_FILE);
    const Cell result = *dir;
    stack::pop(1);
    return stored(args, result);
}

MachineResult set_current_dir(Cell* args) {
    const std::string path = os_path(&args[0]);
    if (path.empty() || !platform::set_current_dir(path.c_str()))
        support::fire_error(ErrorId::access_cannot_open, &args[0]);
    return stored(args, shared_unset_cell);
}

MachineResult create_dir(Cell* args) {
    const std::string path = os_path(&args[0]);
    if (path.empty() || !file_io::create_directory(path.c_str()))
        support::fire_error(ErrorId::access_no_create, &args[0]);
    return stored(args, shared_unset_cell);
}

MachineResult exists_q(Cell* args) {
    const std::string path = os_path(&args[0]);
    return truth(!path.empty() && file_io::exists_q(path.c_str()));
}

MachineResult os_info_(Cell* args) {
    const Cell info = *os_info::push_os_info();
    stack::pop(1);
    return stored(args, info);
}

// The first negative component, in argument order, is refused.
void check_components(Cell* args, int n) {
    for (int i = 0; i < n; i++)
        if (args[i].as_int() < 0) support::fire_error(ErrorId::script_invalid_arg, &args[i]);
}

Cell tuple_cell(uint32_t length, uint32_t packed) {
    return make_cell(TYPE_TUPLE | length << TUPLE_LENGTH_SHIFT, packed, 0, 0);
}

MachineResult as_color(Cell* args) {
    check_components(args, 3);
    uint32_t packed = 0;
    for (int i = 0; i < 3; i++) packed |= (uint32_t(args[i].as_int()) & 0xFF) << (8 * i);
    return stored(args, tuple_cell(3, packed));
}

// The components are or-ed in unreduced, as the packed form always was.
MachineResult as_ipv4(Cell* args) {
    check_components(args, 4);
    uint32_t packed = 0;
    for (int i = 0; i < 4; i++) packed |= uint32_t(args[i].as_int()) << (8 * i);
    return stored(args, tuple_cell(4, packed));
}

MachineResult count_chars(Cell* args) {
    const Cell start = args[0], pos = args[1];
    memory::SeriesBuffer* b = memory::buffer_of(start.data2);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(b->head_ptr());
    const int64_t size = b->tail - b->head;
    int64_t i = int64_t(start.data1);
    const int64_t end = std::min<int64_t>(int64_t(pos.data1), size);
    int32_t count = 0;
    while (i < end) {
        const uint8_t lead = bytes[i];
        i += lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        count++;
    }
    return integer_result(count);
}

int32_t stack_size() { return int32_t(stack::g_top - stack::g_bottom); }

MachineResult stack_size_q(Cell*) { return integer_result(stack_size()); }

MachineResult pick_stack(Cell* args) {
    const int32_t idx = args[0].as_int();
    if (idx <= 0 || idx >= stack_size()) return stored(args, shared_none_cell);
    return stored(args, stack::g_bottom[idx - 1]);
}

// The arguments base of the innermost function call: the record pushed just
// above that call's own saved it. Outside any function, the bottom's.
MachineResult frame_index_q(Cell*) {
    const stack::CallFrame* above = stack::top_frame();
    if (!above) return integer_result(0);
    for (const stack::CallFrame* r = above - 1; r >= stack::g_frame_bottom; above = r--)
        if (r->kind() == stack::FUNCTION_FRAME) return integer_result(int32_t(above->saved_base));
    return integer_result(int32_t(stack::g_frame_bottom->saved_base));
}

// Innermost first: each named call's word and where its arguments start. The
// record of this routine's own call is left out.
MachineResult collect_calls(Cell* args) {
    const Cell blk = args[0];
    const uint32_t body = words::get(words::body)->data2, anon = words::get(words::anon)->data2;
    const stack::CallFrame* record = stack::g_frame_top;
    if (record > stack::g_frame_bottom) --record;
    while (record > stack::g_frame_bottom + 1) {
        --record;
        const uint32_t symbol = record->symbol();
        if (!symbol || symbol == body || symbol == anon || record->library()) continue;
        // Appending moves buffers, never frame records.
        const Cell word = context::resolve_symbol(record->name_context, symbol);
        block::append_cell(&blk, &word);
        const Cell position = integer_cell(int32_t(record->saved_base));
        block::append_cell(&blk, &position);
    }
    return stored(args, blk);
}

MachineResult tracing_q(Cell* args) {
    return stored(args, logic::make_value(interpreter::tracing_active()));
}

MachineResult read_clipboard(Cell* args) {
    const Cell value = *clipboard::push_read_clipboard();
    stack::pop(1);
    return stored(args, value);
}

MachineResult write_clipboard(Cell* args) { return truth(clipboard::write_clipboard(&args[0])); }

MachineResult write_stdout(Cell* args) {
    file_io::write_target(nullptr, &args[0], nullptr, nullptr, false, false, false);
    std::fflush(stdout);
    return stored(args, shared_unset_cell);
}

struct Environment {
    routine::Entry entry;
    int32_t return_type;
};

// ---------------------------------------------------------------- library routines

// JSON string escapes decoded in place.
MachineResult unescape(Cell* args) {
    if (!json_text::unescape(&args[0])) support::fire_error(ErrorId::script_invalid_data, &args[0]);
    return MachineResult{};
}

// The library's JSON functions try these first: a one-value block, or none
// where the library must do the work itself.
MachineResult json_decode(Cell* args) {
    stack::StackScope scope;
    if (!json_text::decode(&args[0])) return stored(args, shared_none_cell);
    const Cell value = *stack::top();
    Cell* result = block::push_new(1);
    block::append_cell(result, &value);
    return stored(args, *result);
}

MachineResult json_encode(Cell* args) {
    stack::StackScope scope;
    const bool ascii = args[2].is(TYPE_LOGIC) && args[2].data1;
    if (!json_text::encode(&args[0], &args[1], ascii)) return stored(args, shared_none_cell);
    return stored(args, *stack::top());
}

// In the order of the specs below.
constexpr Environment k_environment[] = {
    {quit_return, NONE_RESULT},     {set_quiet, NONE_RESULT},     {set_slot_quiet, NONE_RESULT},
    {shift_right, NONE_RESULT},     {shift_left, NONE_RESULT},    {shift_logical, NONE_RESULT},
    {last_lf_q, NONE_RESULT},       {get_current_dir, NONE_RESULT}, {set_current_dir, NONE_RESULT},
    {create_dir, NONE_RESULT},      {exists_q, TYPE_LOGIC},       {os_info_, NONE_RESULT},
    {as_color, NONE_RESULT},        {as_ipv4, NONE_RESULT},       {as_ipv4, NONE_RESULT},
    {count_chars, TYPE_INTEGER},    {stack_size_q, TYPE_INTEGER}, {pick_stack, NONE_RESULT},
    {frame_index_q, TYPE_INTEGER},  {collect_calls, NONE_RESULT}, {tracing_q, NONE_RESULT},
    {read_clipboard, NONE_RESULT},  {write_clipboard, TYPE_LOGIC}, {write_stdout, NONE_RESULT},
    {unescape, NONE_RESULT},      {json_decode, NONE_RESULT},  {json_encode, NONE_RESULT},
};

constexpr char k_environment_specs[] = R"zun(
quit-return: ["Stops evaluation and exits the program with a given status"
    status [integer!] "Process termination value to return"]
set-quiet: ["Set an object's field to a value without triggering eventual object's events"
    word [any-type!] value [any-type!] return: [any-type!]]
set-slot-quiet: ["Set a value in series without triggering eventual owner's events"
    series [any-type!] value [any-type!]]
shift-right: ["Shift bits to the right" data [integer!] bits [integer!]]
shift-left: ["Shift bits to the left" data [integer!] bits [integer!]]
shift-logical: ["Shift bits to the right (unsigned)" data [integer!] bits [integer!]]
last-lf?: ["Internal Use Only"]
get-current-dir: ["Returns the platform's current directory for the process"]
set-current-dir: ["Sets the platform's current process directory" path [file!]]
create-dir: ["Create the given directory" path [file!]]
exists?: ["Returns TRUE if the file exists" path [file!] return: [logic!]]
os-info: ["Returns detailed operating system version information"]
as-color: ["Combine R, G and B values into a tuple" r [integer!] g [integer!] b [integer!]]
as-ipv4: ["Combine a, b, c and d values into a tuple"
    a [integer!] b [integer!] c [integer!] d [integer!]]
as-rgba: ["Combine R, G, B and A color components into a tuple"
    r [integer!] g [integer!] b [integer!] a [integer!]]
count-chars: ["Count UTF-8 encoded characters between two positions in a binary series"
    start [binary!] pos [binary!] return: [integer!]]
stack-size?: [return: [integer!]]
pick-stack: [idx [integer!]]
frame-index?: [return: [integer!]]
collect-calls: [blk [block!]]
tracing?: []
read-clipboard: ["Return the contents of the system clipboard"
    return: [any-type!] "false on failure, none if empty, otherwise: string!, block! of files!, or an image!"]
write-clipboard: ["Write content to the system clipboard"
    data [any-type!] "string!, block! of files!, an image! or none!"
    return: [logic!] "indicates success"]
write-stdout: ["Write data to STDOUT" data [any-type!]]
unescape: [str [string!] "(modified)" return: [string!]]
decode-json-text: [text [string!]]
encode-json-text: [data [any-type!] indent [any-type!] ascii [any-type!]]
)zun";

// ---------------------------------------------------------------- predicates

template <uint32_t TYPE> MachineResult type_q(Cell* args) { return truth(args[0].type() == TYPE); }

struct TypeTest {
    const char* name;
    routine::Entry entry;
};

constexpr TypeTest k_type_tests[] = {
    {"bitset?", type_q<TYPE_BITSET>},       {"binary?", type_q<TYPE_BINARY>},
    {"block?", type_q<TYPE_BLOCK>},         {"char?", type_q<TYPE_CHAR>},
    {"email?", type_q<TYPE_EMAIL>},         {"file?", type_q<TYPE_FILE>},
    {"float?", type_q<TYPE_FLOAT>},         {"get-path?", type_q<TYPE_GET_PATH>},
    {"get-word?", type_q<TYPE_GET_WORD>},   {"hash?", type_q<TYPE_HASH>},
    {"integer?", type_q<TYPE_INTEGER>},     {"issue?", type_q<TYPE_ISSUE>},
    {"lit-path?", type_q<TYPE_LIT_PATH>},   {"lit-word?", type_q<TYPE_LIT_WORD>},
    {"logic?", type_q<TYPE_LOGIC>},         {"map?", type_q<TYPE_MAP>},
    {"none?", type_q<TYPE_NONE>},           {"pair?", type_q<TYPE_PAIR>},
    {"paren?", type_q<TYPE_PAREN>},         {"path?", type_q<TYPE_PATH>},
    {"percent?", type_q<TYPE_PERCENT>},     {"refinement?", type_q<TYPE_REFINEMENT>},
    {"set-path?", type_q<TYPE_SET_PATH>},   {"set-word?", type_q<TYPE_SET_WORD>},
    {"string?", type_q<TYPE_STRING>},       {"tag?", type_q<TYPE_TAG>},
    {"time?", type_q<TYPE_TIME>},           {"typeset?", type_q<TYPE_TYPESET>},
    {"tuple?", type_q<TYPE_TUPLE>},         {"unset?", type_q<TYPE_UNSET>},
    {"url?", type_q<TYPE_URL>},             {"word?", type_q<TYPE_WORD>},
    {"image?", type_q<TYPE_IMAGE>},         {"date?", type_q<TYPE_DATE>},
    {"money?", type_q<TYPE_MONEY>},         {"ref?", type_q<TYPE_REF>},
    {"point2D?", type_q<TYPE_POINT2D>},     {"point3D?", type_q<TYPE_POINT3D>},
    {"handle?", type_q<TYPE_HANDLE>},       {"error?", type_q<TYPE_ERROR>},
    {"action?", type_q<TYPE_ACTION>},       {"native?", type_q<TYPE_NATIVE>},
    {"datatype?", type_q<TYPE_DATATYPE>},   {"function?", type_q<TYPE_FUNCTION>},
    {"object?", type_q<TYPE_OBJECT>},       {"op?", type_q<TYPE_OP>},
    {"routine?", type_q<TYPE_ROUTINE>},     {"vector?", type_q<TYPE_VECTOR>},
};

// Each typeset predicate reads its typeset word at the time of the call, so a
// script that redefines the word changes the predicate.
constexpr const char* k_typeset_words[] = {
    "any-list!", "any-block!", "any-function!", "any-object!", "any-path!", "any-string!",
    "any-word!", "series!",    "number!",       "immediate!",  "scalar!",   "all-word!",
    "any-point!", "planar!",
};
constexpr uint32_t TYPESET_TESTS = sizeof k_typeset_words / sizeof k_typeset_words[0];
uint32_t g_typeset_symbols[TYPESET_TESTS];
// Each typeset word as the global context holds it, kept once found there:
// a context only grows, so the word's index stays good until the next
// start-up makes another global context.
Cell g_typeset_words[TYPESET_TESTS];

const Cell* typeset_value(uint32_t i) {
    Cell& word = g_typeset_words[i];
    if (!word.data1) {
        const NodeId global = context::global();
        const int32_t index = context::find_word(global, g_typeset_symbols[i], true);
        if (index < 0) return nullptr;
        word = *word::context_word_at(global, uint32_t(index));
        word.data1 = global;
    }
    return context::value_address(&word, word.data1);
}

template <uint32_t I> MachineResult typeset_q(Cell* args) {
    const Cell* ts = typeset_value(I);
    return truth(ts && ts->is(TYPE_TYPESET) && typeset::has(ts, args[0].type()));
}

template <uint32_t... I>
constexpr std::array<routine::Entry, sizeof...(I)> typeset_entries(std::integer_sequence<uint32_t, I...>) {
    return {typeset_q<I>...};
}
constexpr auto k_typeset_entries = typeset_entries(std::make_integer_sequence<uint32_t, TYPESET_TESTS>{});

// ---------------------------------------------------------------- binding

// The block of name: [spec] pairs the text holds, pushed.
Cell* load_specs(const std::string& text) {
    Cell* specs = stack::push_cell();
    boot_texts::load(specs, text.data(), text.size());
    return specs;
}

void bind_routine(const Cell& name, const Cell& spec, routine::Entry entry, int32_t return_type) {
    stack::StackScope scope;
    Cell* value = routine::push(&spec, nullptr, routine::register_entry(entry), return_type, false);
    Cell word = *word::make_global_from_symbol(name.data2);
    word::set_value(&word, value);
}

// Binds the pairs of the specs block with the entries in their order.
template <typename EntryAt>
void bind_block(const std::string& text, uint32_t count, EntryAt entry_at) {
    stack::StackScope scope;
    const Cell* specs = load_specs(text);
    if (uint32_t(block::length_from_start(specs)) != 2 * count) runtime::fatal(ASSERTION_FAILED);
    for (uint32_t i = 0; i < count; i++) {
        const Cell name = *block::cell_at(specs, int32_t(2 * i));
        const Cell spec = *block::cell_at(specs, int32_t(2 * i + 1));
        if (!name.is(TYPE_SET_WORD) || !spec.is(TYPE_BLOCK)) runtime::fatal(ASSERTION_FAILED);
        const Environment e = entry_at(i);
        bind_routine(name, spec, e.entry, e.return_type);
    }
}

void bind_predicates() {
    std::string text;
    for (const TypeTest& t : k_type_tests)
        text += std::string(t.name) +
                ": [\"Returns true if the value is this type\" value [any-type!] return: [logic!]]\n";
    for (const char* ts : k_typeset_words) {
        std::string name(ts);
        name.pop_back();
        text += name + "?: [\"Returns true if the value is any type of " + name +
                "\" value [any-type!] return: [logic!]]\n";
    }
    constexpr uint32_t types = sizeof k_type_tests / sizeof k_type_tests[0];
    for (uint32_t i = 0; i < TYPESET_TESTS; i++) {
        g_typeset_symbols[i] = symbol::make(k_typeset_words[i]);
        g_typeset_words[i] = Cell{};
    }
    bind_block(text, types + TYPESET_TESTS, [](uint32_t i) {
        return Environment{i < types ? k_type_tests[i].entry : k_typeset_entries[i - types], TYPE_LOGIC};
    });
}

}  // namespace

void bind_all() {
    constexpr uint32_t count = sizeof k_environment / sizeof k_environment[0];
    bind_block(k_environment_specs, count, [](uint32_t i) { return k_environment[i]; });
    bind_predicates();
    event::bind_routines();
}

}  // namespace zun::routines
