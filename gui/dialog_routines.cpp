// The request-* routines over the standard dialogs.
#include "gui/dialogs.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "gui/backend.hpp"
#include "gui/face.hpp"
#include "gui/routine_results.hpp"
#include "gui/font.hpp"
#include "interpreter/stack.hpp"
#include "platform/dialogs/dialogs.hpp"
#include "services/clipboard.hpp"

namespace zun::gui {

using routine::MachineResult;
namespace dlg = win::dialogs;

namespace {



bool text_q(const Cell* v) { return v->is(TYPE_STRING) || v->is(TYPE_FILE); }

Cell word_cell(const char* name) {
    return word::make_value(TYPE_WORD, context::global(), symbol::make(name), context::NO_INDEX);
}

// A field of the memory-display object, nullptr when there is none.
Cell* memory_display_field(const char* name) {
    const Cell* md = context::find_word_value(symbol::make("memory-display"), context::global());
    if (!md || !md->is(TYPE_OBJECT)) return nullptr;
    const Cell w = word_cell(name);
    Cell* v = object::select_word(md, &w);
    return v->is(TYPE_BLOCK) ? v : nullptr;
}

// The next queued answer into args[0], with the request logged; false when
// nothing is queued.
bool take_queued(Cell* args, const char* routine, int argc) {
    Cell* answers = memory_display_field("answers");
    if (!answers || block::length_from_head(answers) == 0) return false;
    stack::StackScope scope;
    Cell* entry = block::push_new(argc + 1);
    const Cell name = word_cell(routine);
    block::append_cell(entry, &name);
    for (int i = 0; i < argc; ++i) {
        const Cell arg = args[i];
        block::append_cell(entry, &arg);
    }
    if (Cell* log = memory_display_field("requests")) {
        const Cell copy = *log;
        block::append_cell(&copy, entry);
    }
    answers = memory_display_field("answers");
    args[0] = *block::head_cell(answers);
    answers->data1++;  // taken: the head moves on
    return true;
}

MachineResult paths_result(Cell* args, const std::vector<std::string>& paths, bool multi) {
    stack::StackScope scope;
    Cell* files = clipboard::push_files(paths);
    args[0] = multi ? *files : *block::head_cell(files);
    return MachineResult{};
}

// The filter block as description and pattern pairs; invalid-arg for
// anything but none or a block of strings.
dlg::Filters filters_of(const Cell* filter) {
    dlg::Filters out;
    if (filter->is(TYPE_NONE)) return out;
    if (!filter->is(TYPE_BLOCK)) support::fire_error(ErrorId::script_invalid_arg, filter);
    Cell copy = *filter;
    const int32_t n = block::length_from_head(&copy);
    for (int32_t i = 0; i < n; ++i)
        if (!block::head_cell(&copy)[i].is(TYPE_STRING)) support::fire_error(ErrorId::script_invalid_arg, filter);
    for (int32_t i = 0; i + 1 < n; i += 2) {
        const Cell d = block::head_cell(&copy)[i], p = block::head_cell(&copy)[i + 1];
        out.emplace_back(utf8(&d), utf8(&p));
    }
    return out;
}

}  // namespace

void dialog_prepare() {
    if (!display_open()) return;
    const win::HWND held = win::GetCapture();
    Cell f;
    if (!held || !(win::GetKeyState(win::VK_LBUTTON) & 0x8000) || !face_of_window(held, &f) ||
        !face::type_is(&f, "base"))
        return;
    const int32_t n = win::GetWindowLong(held, LONG_PRESSES);
    win::SetWindowLong(held, LONG_PRESSES, n > 0 ? n - 1 : 0);
    if (n <= 1) win::ReleaseCapture();
}

MachineResult request_file(Cell* args) {
    dialog_prepare();
    dlg::FileRequest r;
    r.filters = filters_of(&args[2]);
    if (take_queued(args, "request-file", 5)) return MachineResult{};
    if (!init()) return none_result(args);
    if (args[0].is(TYPE_STRING)) r.title = utf8(&args[0]);
    if (text_q(&args[1])) r.name = utf8(&args[1]);
    r.save = args[3].data1 != 0;
    r.multi = args[4].data1 != 0;
    std::vector<std::string> chosen;
    if (!dlg::request_file(r, &chosen) || chosen.empty()) return none_result(args);
    return paths_result(args, chosen, r.multi);
}

MachineResult request_dir(Cell* args) {
    dialog_prepare();
    if (take_queued(args, "request-dir", 5)) return MachineResult{};
    if (!init()) return none_result(args);
    const std::string title = args[0].is(TYPE_STRING) ? utf8(&args[0]) : std::string();
    const std::string dir = text_q(&args[1]) ? utf8(&args[1]) : std::string();
    std::string chosen;
    if (!dlg::request_dir(title, dir, &chosen)) return none_result(args);
    if (chosen.back() != '/') chosen += '/';
    return paths_result(args, {chosen}, false);
}

MachineResult request_color(Cell* args) {
    dialog_prepare();
    if (take_queued(args, "request-color", 2)) return MachineResult{};
    if (!init()) return none_result(args);
    uint8_t b[tuple::MAX_LENGTH];
    tuple::get_bytes(&args[0], b);
    const uint32_t initial = uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
    std::vector<uint32_t> custom;
    {
        Cell recent = args[1];
        const int32_t n = block::length_from_head(&recent);
        for (int32_t i = 0; i < n && custom.size() < 16; ++i) {
            const Cell* v = block::head_cell(&recent) + i;
            if (!v->is(TYPE_TUPLE)) continue;
            tuple::get_bytes(v, b);
            custom.push_back(uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2]);
        }
    }
    uint32_t chosen = 0;
    if (!dlg::request_color(initial, custom, &chosen)) return none_result(args);
    const uint8_t out[3] = {uint8_t(chosen >> 16), uint8_t(chosen >> 8), uint8_t(chosen)};
    tuple::init_cell(&args[0], out, 3);
    return MachineResult{};
}

namespace {

// style: bold, italic, both as a block, or none.
void set_style(const Cell* font, bool bold, bool italic) {
    stack::StackScope scope;
    Cell style = make_cell(TYPE_NONE);
    if (bold && italic) {
        Cell* both = block::push_new(2);
        const Cell b = word_cell("bold"), i = word_cell("italic");
        block::append_cell(both, &b);
        block::append_cell(both, &i);
        style = *both;
    } else if (bold || italic) {
        style = word_cell(bold ? "bold" : "italic");
    }
    object::values_base(font)[FONT_STYLE] = style;
}

// A queued [name size style weight] goes into the font as it stands.
void apply_queued_font(const Cell* font, const Cell* answer) {
    Cell a = *answer;
    const int32_t n = block::length_from_head(&a);
    for (int32_t i = 0; i < n && i < 4; ++i) {
        const Cell v = block::head_cell(&a)[i];
        if (i == FONT_WEIGHT && !v.is(TYPE_INTEGER)) continue;
        object::values_base(font)[i] = v;
    }
}

}  // namespace

MachineResult request_font(Cell* args) {
    const Cell font = args[0];
    dialog_prepare();
    if (take_queued(args, "request-font", 3)) {
        if (args[0].is(TYPE_BLOCK)) {
            apply_queued_font(&font, &args[0]);
            args[0] = font;
        }
        return MachineResult{};
    }
    if (!init()) return none_result(args);
    dlg::FontChoice choice;
    if (const FontRecord* record = font_handle(&font); record && record->desc) {
        if (const char* family = pango_font_description_get_family(record->desc)) choice.family = family;
        choice.points = std::max(1, int(std::lround(pango_font_description_get_size(record->desc) / double(PANGO_SCALE))));
        choice.weight = pango_font_description_get_weight(record->desc);
        choice.italic = pango_font_description_get_style(record->desc) != PANGO_STYLE_NORMAL;
    }
    if (!dlg::request_font(&choice, args[2].data1 != 0)) return none_result(args);
    {
        stack::StackScope scope;
        const Cell* name = string::load_c_text(choice.family.data(), uint32_t(choice.family.size()), 0);
        object::values_base(&font)[FONT_NAME] = *name;
    }
    object::values_base(&font)[FONT_SIZE] = integer_cell(choice.points);
    set_style(&font, choice.weight == 700, choice.italic);
    if (choice.weight > 0 && choice.weight != 400 && choice.weight != 700)
        object::values_base(&font)[FONT_WEIGHT] = integer_cell(choice.weight);
    args[0] = font;
    return MachineResult{};
}

}  // namespace zun::gui
