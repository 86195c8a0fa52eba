// libFuzzer target: load-json and load-csv on arbitrary bytes, and values
// decoded from JSON written back by to-json and decoded again. The first byte
// picks the mode. Returned error values and raised script errors are the
// expected outcome of most inputs; a round trip that changes the value, a
// crash, a hang or a sanitizer report is a fault.
#include <cstddef>
#include <cstdint>

#include "datatypes/series/binary.hpp"
#include "tests/fuzz/library_fuzz.hpp"

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

void start() {
    fuzz::start_with_library("json_csv_fuzz", DRIVER);
    g_call = *fuzz::load_code("fuzz-json-csv fuzz-input fuzz-mode");
    fuzz::set_global(symbol::make("fuzz-call"), &g_call);
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
    fuzz::set_global(g_mode_symbol, &mode);
    fuzz::set_global(g_input_symbol, binary::push_bytes(data + 1, uint32_t(size - 1)));
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
