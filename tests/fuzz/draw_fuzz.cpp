// libFuzzer target: the draw walker on random blocks. Each input byte picks
// a token (command and option words, points, numbers, colours, images,
// set-words, lit-words, opening and closing brackets); the text is loaded and
// drawn into a small image, into an image that is also drawn from, and under
// system/view/silent?. Script errors are the expected outcome of most
// inputs; a crash, a hang or a sanitizer report is a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/library_fuzz.hpp"

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

void set_global(const char* name, const Cell* value) { fuzz::set_global(symbol::make(name), value); }

Cell g_call;

void start() {
    fuzz::start_with_library("draw_fuzz", DRIVER);
    g_call = *fuzz::load_code("fuzz-draw fuzz-text fuzz-mode");
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
