// libFuzzer target: the draw walker on random blocks. Each input byte picks
// a token (command and option words, points, numbers, colours, images,
// set-words, lit-words, opening and closing brackets); the text is loaded and
// drawn into a small image, into an image that is also drawn from, and under
// system/view/silent?. Script errors are the expected outcome of most
// inputs; a crash, a hang or a sanitizer report is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/symbols.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "startup/console_terminal.hpp"
#include "startup/init.hpp"
#include "startup/library.hpp"
#include "startup/system_object.hpp"

using namespace zun;

namespace {

constexpr const char* DRIVER = R"zun(
src: draw 8x8 [pen off fill-pen 255.0.0 box 0x0 4x8]
fuzz-draw: func [text [string!] mode [integer!] /local code img] [
	code: load text
	unless block? code [code: reduce [code]]
	system/view/silent?: mode and 1 = 1
	img: either mode and 2 = 2 [src] [make image! 24x24]
	try [draw img code]
	system/view/silent?: false
	none
]
)zun";

const char* const TOKENS[] = {
    // commands
    "pen", "fill-pen", "box", "line", "line-width", "line-join", "line-cap", "line-pattern",
    "triangle", "polygon", "circle", "ellipse", "anti-alias", "arc", "curve", "spline", "image",
    "shadow", "clip", "push", "shape", "rotate", "scale", "translate", "skew", "transform",
    "matrix", "reset-matrix", "invert-matrix",
    // the shape sub-dialect
    "move", "hline", "vline", "curv", "qcurve", "qcurv", "close", "'line", "'arc", "'curv",
    "'move", "'hline", "'qcurv",
    // options
    "off", "linear", "radial", "diamond", "pattern", "bitmap", "pad", "repeat", "reflect",
    "tile", "flip-x", "flip-y", "flip-xy", "clamp", "closed", "miter", "bevel", "round",
    "miter-bevel", "flat", "square", "border", "crop", "inset", "replace", "union", "xor",
    "sweep", "large", "'pen", "'fill-pen", "'foo", "frob",
    // values
    "0x0", "10x10", "23x5", "-5x3", "100x100", "3x-40", "1000000x2", "(1.5, 2.5)", "(-0.5, 30.25)",
    "0", "1", "2", "5", "-3", "45", "90", "360", "-720", "0.5", "1e9", "-1e300", "50%", "200%",
    "255.0.0", "0.0.255", "0.255.0.128", "10.20.30.255", "src", "m:", "n:", "none", "\"text\"",
    // structure
    "[", "[", "]", "]",
};
constexpr size_t TOKEN_COUNT = sizeof TOKENS / sizeof TOKENS[0];

Cell* load_code(const char* text) {
    Cell* code = stack::push_cell();
    *code = Cell{TYPE_NONE, 0, 0, 0};
    uint32_t consumed = 0;
    lexer::transcode(code, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)),
                     lexer::Options{}, &consumed);
    return code;
}

void set_global(const char* name, const Cell* value) {
    Cell word = *word::make_global_from_symbol(symbol::make(name));
    word::set_value(&word, value);
}

Cell g_call;

void start() {
    static const char* const argv[] = {"draw_fuzz", nullptr};
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
    g_call = *load_code("fuzz-draw fuzz-text fuzz-mode");
    set_global("fuzz-call", &g_call);
    stack::g_top = stack::g_bottom;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        start();
        started = true;
    }
    if (size == 0 || size > 4096) return 0;
    std::string text;
    int open = 0;
    for (size_t i = 1; i < size; i++) {
        const char* token = TOKENS[data[i] % TOKEN_COUNT];
        if (token[0] == ']' && open == 0) continue;
        open += token[0] == '[' ? 1 : token[0] == ']' ? -1 : 0;
        text += token;
        text += ' ';
    }
    while (open-- > 0) text += "] ";
    const Cell mode = integer_cell(int32_t(data[0] % 4));
    set_global("fuzz-mode", &mode);
    set_global("fuzz-text", string::load_c_text(text.data(), uint32_t(text.size()), 0));
    stack::g_top = stack::g_bottom;
    stack::push_try_frame(nullptr);
    try {
        if (interpreter::eval_block(&g_call, false) != Flow::normal) __builtin_trap();
        stack::pop_frame();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        stack::pop_frame();
    }
    stack::g_top = stack::g_bottom;
    return 0;
}
