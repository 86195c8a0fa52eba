// libFuzzer target: load-json and load-csv on arbitrary bytes, and values
// decoded from JSON written back by to-json and decoded again. The first byte
// picks the mode. Returned error values and raised script errors are the
// expected outcome of most inputs; a round trip that changes the value, a
// crash, a hang or a sanitizer report is a fault.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/memory.hpp"
#include "core/symbols.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/word.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include <cstdio>
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "startup/console_terminal.hpp"
#include "startup/init.hpp"
#include "startup/library.hpp"
#include "startup/system_object.hpp"

using namespace zun;

namespace {

// Answers the word fault when a round trip changes the value, or when the
// JSON functions' one-pass helpers and their grammar disagree.
constexpr const char* DRIVER = R"zun(
; a word of to-json's body bound where the switch is
fast: bind 'fast? second find body-of :to-json 'clear
unless logic? get/any fast [do make error! "the switch of the one-pass helpers is gone"]
both-ways: func [code /local one two] [
	set fast true
	one: try code
	set fast false
	two: try code
	set fast true
	if error? :one [one: either one/type = 'user [one/arg1] [one/id]]
	if error? :two [two: either two/type = 'user [two/arg1] [two/id]]
	(mold/all :one) = mold/all :two
]
fuzz-json-csv: func [bytes [binary!] mode [integer!] /local text value json again] [
	text: to string! bytes
	switch mode [
		0 [load-json text]
		1 [load-csv text]
		2 [load-csv/header/as-records/with/trim text #";"]
		3 [
			value: load-json text
			if error? value [exit]
			json: to-json value
			again: load-json json
			if (mold/all again) <> mold/all value [return 'fault]
			again: load-json to-json/pretty/ascii value "^-"
			if (mold/all again) <> mold/all value [return 'fault]
		]
		5 [
			unless both-ways [load-json text] [return 'fault]
			value: load-json text
			unless error? value [
				unless both-ways [to-json value] [return 'fault]
				unless both-ways [to-json/pretty/ascii value "  "] [return 'fault]
			]
		]
		4 [
			value: load-csv text
			if error? value [exit]
			again: load-csv to-csv value
			if all [not empty? value (mold/all again) <> mold/all value] [return 'fault]
		]
	]
	none
]
)zun";

Cell g_call;  // the block [fuzz-json-csv fuzz-input fuzz-mode], rooted by a global word
uint32_t g_input_symbol, g_mode_symbol;

Cell* load_code(const char* text) {
    Cell* code = stack::push_cell();
    *code = Cell{TYPE_NONE, 0, 0, 0};
    uint32_t consumed = 0;
    lexer::transcode(code, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)),
                     lexer::Options{}, &consumed);
    return code;
}

void set_global(uint32_t symbol, const Cell* value) {
    Cell word = *word::make_global_from_symbol(symbol);
    word::set_value(&word, value);
}

void start() {
    static const char* const argv[] = {"json_csv_fuzz", nullptr};
    system_object::set_command_line(1, argv);
    startup::init_runtime();
    stack::push_try_frame(nullptr);
    try {
        console_terminal::install();
        library::load_all();
        if (interpreter::eval_block(load_code(DRIVER), false) != Flow::normal) __builtin_trap();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        Cell* text = string::make_empty_at(stack::push_cell(), 64);
        actions::mold_direct(stack::top() - 1, text, false, false, false, nullptr, 4000, 0);
        std::fwrite(string::head_pointer(text), 1, size_t(string::length_from_head(text)), stderr);
        __builtin_trap();
    }
    g_call = *load_code("fuzz-json-csv fuzz-input fuzz-mode");
    set_global(symbol::make("fuzz-call"), &g_call);
    g_input_symbol = symbol::make("fuzz-input");
    g_mode_symbol = symbol::make("fuzz-mode");
    stack::g_top = stack::g_bottom;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        start();
        started = true;
    }
    // Deep nesting is refused by the parse stack long before this size.
    if (size == 0 || size > 65536) return 0;
    const Cell mode = integer_cell(int32_t(data[0] % 6));
    set_global(g_mode_symbol, &mode);
    set_global(g_input_symbol, binary::push_bytes(data + 1, uint32_t(size - 1)));
    stack::g_top = stack::g_bottom;  // the input is held by its word now
    stack::push_try_frame(nullptr);
    try {
        if (interpreter::eval_block(&g_call, false) != Flow::normal) __builtin_trap();
        const Cell* result = stack::top();
        if (result->is(TYPE_WORD) && symbol::name(result->data2) == "fault") __builtin_trap();
        stack::pop_frame();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        stack::pop_frame();
    }
    stack::g_top = stack::g_bottom;
    return 0;
}
