#include "draw/draw_pass.hpp"
#include "gui/backend.hpp"

#include <cairo.h>

#include <cstring>

#include "core/console_out.hpp"
#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "draw/walker.hpp"
#include "draw/window_target.hpp"
#include "interpreter/stack.hpp"
#include "services/image_record.hpp"
#include "startup/boot_texts.hpp"

namespace zun::draw {

namespace {

using routine::MachineResult;

void print_error(const Cell* error) {
    char text[2048];
    support::form_error(error, text, sizeof text);
    console_out::write_units(text, std::strlen(text), 1, true);
}

}  // namespace

const Cell* field_of(const Cell* object, const char* name) {
    if (!object || !object->is(TYPE_OBJECT)) return nullptr;
    const int32_t i = context::find_word(object->data1, symbol::make(name), true);
    return i < 0 ? nullptr : object::values_base(object) + i;
}

ImagePass::ImagePass(uint32_t* pixels, uint32_t w, uint32_t h) {
    surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels), CAIRO_FORMAT_ARGB32,
                                                  int(w), int(h), int(w * 4));
    cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        release();
        support::fire_error(ErrorId::internal_no_memory);
    }
}

void ImagePass::release() {
    if (cr) cairo_destroy(cr);
    if (surface) {
        cairo_surface_flush(surface);
        cairo_surface_destroy(surface);
    }
    cr = nullptr;
    surface = nullptr;
}

// Walks with the errors printed: painting stops, the program goes on.
void walk_caught(Walker& walker, const Cell* commands) {
    Cell* top = stack::g_top;
    Cell* base = stack::g_base;
    stack::CallFrame* frames = stack::g_frame_top;
    // a frame of its own first: the error lands above the cells held below
    stack::push_native_frame(nullptr);
    stack::push_try_frame(nullptr);
    try {
        walker.walk_block(commands);
    } catch (const Unwind& u) {
        if (u.code != Flow::error) throw;
        stack::adjust_after_error();
        print_error(stack::top());
        cycles::reset();
    }
    stack::g_frame_top = frames;
    stack::g_base = base;
    stack::g_top = top;
}

bool view_silent() {
    const Cell* system = context::find_word_value(symbol::make("system"), context::global());
    const Cell* silent = field_of(field_of(system, "view"), "silent?");
    return silent && silent->is(TYPE_LOGIC) && silent->data1;
}

namespace {
// One walk of the commands: clips ended and cycle marks dropped after it.
void walk(cairo_t* cr, const Target& target, const Cell* commands, bool catch_mode) {
    Walker walker(cr, target, catch_mode);
    const int cycle_base = cycles::depth();
    struct End {
        Walker& walker;
        int cycle_base;
        ~End() {
            walker.end_clips(0);
            cycles::drop(cycles::depth() - cycle_base);
        }
    } end{walker, cycle_base};
    try {
        if (catch_mode)
            walk_caught(walker, commands);
        else
            walker.walk_block(commands);
    } catch (const SilentAbort&) {
        // abandoned under silent?: what was drawn stays
    }
}
}  // namespace

void do_draw(const Cell* image_cell, const Cell* commands, bool catch_mode) {
    if (!commands->is(TYPE_BLOCK) || block::length_from_head(commands) <= 0) return;
    const NodeId record = image_cell->data2;
    const uint32_t w = image::width_of(image_cell), h = image::height_of(image_cell);
    if (record == 0 || w == 0 || h == 0) return;
    // The walker reads the commands in place and errors point at them: no
    // buffer may move while it runs.
    memory::NoCompaction in_place;
    uint32_t* pixels = image_codec::make_shared_bitmap(record);
    image_codec::invalidate_attached(record);
    ImagePass pass(pixels, w, h);
    walk(pass.cr, Target{record, pixels, pass.surface}, commands, catch_mode);
}

void do_draw_on(cairo_t* cr, const Cell* commands) {
    if (!commands->is(TYPE_BLOCK) || block::length_from_head(commands) <= 0) return;
    memory::NoCompaction in_place;
    walk(cr, Target{0, nullptr, cairo_get_target(cr)}, commands, true);
}

void release_device_resources() {}

namespace {

MachineResult answer_none(Cell* args) {
    args[0] = make_cell(TYPE_NONE);
    return MachineResult{};
}

// Nothing for an image without pixels; else the block is drawn and the
// image's owner told as by a poke at index -1.
MachineResult draw_image(Cell* args) {
    const Cell img = args[0], commands = args[1];
    if (image::width_of(&img) && image::height_of(&img)) {
        const bool told = ownership::check_owner(&img, words::get(words::poke), nullptr, -1, 1) != 0;
        do_draw(&img, &commands, false);
        if (told) ownership::check_owner(&img, words::get(words::poked), nullptr, -1, 1);
    }
    return answer_none(args);
}

MachineResult toggle_gpu(Cell* args) {
    switch_render_path();
    return answer_none(args);
}

// The routines of the windows layer, until it comes.
MachineResult not_done(Cell*) { support::fire_error(ErrorId::internal_not_done); }

struct PlatformRoutine {
    const char* spec;
    routine::Entry entry;
};
// In member order, after mouse-event? (and without the three language-level
// members all-windows-closed?, refresh-screens and init).
const PlatformRoutine k_platform[] = {
    {"", not_done},                                                           // make-null-handle
    {"", not_done},                                                           // fetch-all-screens
    {"", not_done},                                                           // get-current-screen
    {"id [integer!]", not_done},                                              // get-screen-size
    {"face [object!] value [any-type!]", not_done},                           // size-text
    {"owner [object!] word [any-word!] value [any-type!] action [word!] new [any-type!] "
     "index [integer!] part [integer!]",
     not_done},                                                               // on-change-facet
    {"face [object!]", not_done},                                             // update-text
    {"font [object!] flags [integer!]", not_done},                            // update-font
    {"face [object!] flags [integer!]", not_done},                            // update-para
    {"face [object!] empty? [logic!]", not_done},                             // destroy-view
    {"img [image!]", not_done},                                               // detach-image
    {"face [any-type!]", not_done},                                           // update-view
    {"h [handle!]", not_done},                                                // refresh-window
    {"face [object!]", not_done},                                             // redraw
    {"id [handle!]", not_done},                                               // show-window
    {"face [object!] parent [handle!]", not_done},                            // make-view
    {"image [image!] cmds [block!]", draw_image},                             // draw-image
    {"face [object!] cmds [block!]", not_done},                               // draw-face
    {"no-wait? [logic!]", not_done},                                          // do-event-loop
    {"", not_done},                                                           // exit-event-loop
    {"font [object!] selected [any-type!] mono? [logic!]", not_done},         // request-font
    {"title [any-type!] name [any-type!] filter [any-type!] save? [logic!] multi? [logic!]",
     not_done},                                                               // request-file
    {"title [any-type!] dir [any-type!] filter [any-type!] keep? [logic!] multi? [logic!]",
     not_done},                                                               // request-dir
    {"color [tuple!] recent [block!]", not_done},                             // request-color
    {"box [object!] arg0 [any-type!] type [integer!]", not_done},             // text-box-metrics
    {"scroller [object!] flags [integer!]", not_done},                        // update-scroller
    {"face [object!] dark? [logic!]", not_done},                              // set-dark-mode
    {"return: [logic!]", not_done},                                           // support-dark-mode?
    {"", toggle_gpu},                                                         // toggle-GPU
};

}  // namespace

Cell* push_platform_routines() {
    constexpr int32_t count = sizeof k_platform / sizeof k_platform[0];
    static_assert(count == 29);
    Cell* block = block::push_new(count);
    int index = 0;
    for (const PlatformRoutine& r : k_platform) {
        const routine::Entry entry = gui::platform_entry(index++);
        const Cell made = boot_texts::make_routine(r.spec, entry ? entry : r.entry);
        block::append_cell(block, &made);
    }
    return block;
}

}  // namespace zun::draw
