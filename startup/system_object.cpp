#include "startup/system_object.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "draw/draw_pass.hpp"
#include "gui/backend.hpp"
#include "gui/class_registry.hpp"
#include "core/collector.hpp"
#include "core/runtime.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/lexer.hpp"
#include "startup/boot_texts.hpp"
#include "interpreter/stack.hpp"
#include "services/os_info.hpp"
#include "services/zunbin.hpp"
#include "startup/init.hpp"
#include "startup/system_data.hpp"

namespace zun::system_object {

namespace {

using routine::MachineResult;

constexpr int ASSERTION_FAILED = 98;
constexpr uint32_t WORDS_CLASS = 0xFFFFFFFF;  // class -1: the global context's own

bool g_library_loading = false;

std::string& program() {
    static std::string name;
    return name;
}

// The field of the object; a missing one is a fault of the start-up data.
Cell* field(const Cell& object, const char* name) {
    const int32_t i = context::find_word(object.data1, symbol::make(name), true);
    if (!object.is(TYPE_OBJECT) || i < 0) runtime::fatal(ASSERTION_FAILED);
    return object::values_base(&object) + i;
}

Cell* field_path(std::initializer_list<const char*> path) {
    Cell at = *system_data::startup_system();
    Cell* value = nullptr;
    for (const char* name : path) {
        value = field(at, name);
        at = *value;
    }
    return value;
}

MachineResult truth(bool b) { return MachineResult{b ? 1 : 0, 0.0}; }

MachineResult gc_active(Cell*) { return truth(collector::enabled()); }
MachineResult gc_cycles(Cell*) { return MachineResult{int32_t(memory::collection_count()), 0.0}; }

// Called as the only expression of system/state/interpreted?: the records of
// this call and of that function's are not the caller's.
MachineResult interpreted_q(Cell*) {
    if (g_library_loading) return truth(false);
    stack::CallFrame* start = stack::g_frame_top - 2;
    return truth(start > stack::g_frame_bottom && stack::interpreted_frame(start, false));
}

MachineResult pretty_floats(Cell* args) {
    float_::g_pretty = args[0].is(TYPE_LOGIC) && args[0].data1;
    args[0] = shared_unset_cell;
    return MachineResult{};
}

// Makes the routine from the text of its spec (without the brackets) and
// stores it in the field.
void set_routine(Cell* (*target)(), const char* spec_text, routine::Entry entry,
                 int32_t return_type) {
    const Cell made = boot_texts::make_routine(spec_text, entry, return_type);
    *target() = made;
}

MachineResult zunbin_encode(Cell* args) {
    const Cell data = args[0];
    const bool compact = !args[1].is(TYPE_LOGIC) || args[1].data1;
    const Cell made = *(compact ? zunbin::encode_cp(&data) : zunbin::encode(&data));
    args[0] = made;
    return MachineResult{};
}

MachineResult zunbin_decode(Cell* args) {
    const Cell payload = args[0];
    const Cell made = *zunbin::codec_decode(&payload);
    args[0] = made;
    return MachineResult{};
}

// The image codec objects' routines: encode in the codec's format; decode
// whatever format the data holds.
template <int FORMAT> MachineResult encode_image(Cell* args) {
    args[0] = *image::encode(&args[0], &args[1], FORMAT);
    return MachineResult{};
}
MachineResult decode_image(Cell* args) {
    args[0] = *image::decode(&args[0]);
    return MachineResult{};
}
struct ImageRoutine {
    Cell* (*field)();
    routine::Entry entry;
};
constexpr const char* ENCODE_SPEC = "img [image!] where [any-type!]";
const ImageRoutine k_image_encoders[] = {
    {[] { return field_path({"internal", "encode-bmp"}); }, encode_image<0>},
    {[] { return field_path({"internal", "encode-png"}); }, encode_image<1>},
    {[] { return field_path({"internal", "encode-gif"}); }, encode_image<2>},
    {[] { return field_path({"internal", "encode-jpeg"}); }, encode_image<3>},
    {[] { return field_path({"internal", "encode-tiff"}); }, encode_image<4>},
};
Cell* decode_image_field() { return field_path({"internal", "decode-image"}); }

Cell* gc_active_field() { return field_path({"state", "GC", "active?"}); }
Cell* gc_series_field() { return field_path({"state", "GC", "series-cycles"}); }
Cell* gc_nodes_field() { return field_path({"state", "GC", "nodes-cycles"}); }
Cell* interpreted_field() { return field_path({"internal", "interpreted?"}); }
Cell* pretty_field() { return field_path({"internal", "pretty-floats"}); }
Cell* zunbin_encode_field() { return field_path({"internal", "zunbin-encode*"}); }
Cell* zunbin_decode_field() { return field_path({"internal", "zunbin-decode"}); }

// The field of the object the word system holds now, or nullptr when that
// has no such field.
Cell* live_field(std::initializer_list<const char*> path) {
    Cell* slot = context::find_word_value(symbol::make("system"), context::global());
    for (const char* name : path) {
        if (!slot || !slot->is(TYPE_OBJECT)) return nullptr;
        const int32_t i = context::find_word(slot->data1, symbol::make(name), true);
        if (i < 0) return nullptr;
        slot = object::values_base(slot) + i;
    }
    return slot;
}

// Sets the field without running its object's handlers; a field the object
// no longer has is left alone.
void set_live(std::initializer_list<const char*> path, const Cell& value) {
    const Cell copy = value;
    if (Cell* slot = live_field(path)) *slot = copy;
}

}  // namespace

LibraryLoad::LibraryLoad() : m_saved(g_library_loading) { g_library_loading = true; }
LibraryLoad::~LibraryLoad() { g_library_loading = m_saved; }

void set_command_line(int argc, const char* const* argv) {
    os_info::set_command_line(argc, argv);
    program() = argc > 0 && argv[0] ? argv[0] : "";
}

void prepare() {
    stack::StackScope scope;
    const Cell* version = string::load_c_text(startup::VERSION, uint32_t(std::strlen(startup::VERSION)), 0);
    *field_path({"version"}) = *version;
    // The global context's owner is the object over it, so reflection on a
    // global word finds system/words.
    const Cell words = make_cell(TYPE_OBJECT, context::global(), WORDS_CLASS, 0);
    *context::owner_of(context::global()) = words;
    *field_path({"words"}) = words;
    set_routine(gc_active_field, "return: [logic!]", gc_active, TYPE_LOGIC);
    set_routine(gc_series_field, "return: [integer!]", gc_cycles, TYPE_INTEGER);
    set_routine(gc_nodes_field, "return: [integer!]", gc_cycles, TYPE_INTEGER);
    set_routine(interpreted_field, "return: [logic!]", interpreted_q, TYPE_LOGIC);
    set_routine(pretty_field, "flag [logic!]", pretty_floats, routine::NO_RETURN_TYPE);
    set_routine(zunbin_encode_field, "data [any-type!] compact? [logic!]", zunbin_encode,
                routine::NO_RETURN_TYPE);
    set_routine(zunbin_decode_field, "payload [any-type!]", zunbin_decode, routine::NO_RETURN_TYPE);

    for (const ImageRoutine& r : k_image_encoders)
        set_routine(r.field, ENCODE_SPEC, r.entry, routine::NO_RETURN_TYPE);
    set_routine(decode_image_field, "data [any-type!]", decode_image, routine::NO_RETURN_TYPE);
    // The routines system/view/platform is built from (library/view.zun).
    {
        stack::StackScope routines;
        const Cell made = *draw::push_platform_routines();
        // item 30: the memory-display routines, none without that display
        const Cell memory = *gui::push_memory_display_routines();
        block::append_cell(&made, &memory);
        // item 31: gui/init's version record, metrics and default font
        const Cell values = *gui::push_startup_values_routine();
        block::append_cell(&made, &values);
        // item 32: the custom window class routines of the `gui` object
        const Cell classes = *gui::push_class_routines();
        block::append_cell(&made, &classes);
        *field_path({"internal", "view-platform"}) = made;
    }
    // The address `about/debug` gives for a build without version-control data.
    const Cell* page = string::load_c_text(ZUN_DOWNLOAD_PAGE, uint32_t(std::strlen(ZUN_DOWNLOAD_PAGE)), 0);
    *field_path({"internal", "download-page"}) = *page;
    const Cell line = *os_info::push_command_line();
    *field_path({"script", "args"}) = line;
    // The program's argument vector as it came: the library's splitting of
    // the line above is for callers that only have one string.
    const Cell boot = *os_info::push_text(program().data(), program().size());
    *field_path({"options", "boot"}) = boot;
    const Cell args = *os_info::push_options_args();
    *field_path({"options", "args"}) = args;
}

void apply_command_line(const char* script) {
    stack::StackScope scope;
    const auto& args = os_info::arguments();
    size_t first = 0;
    while (first < args.size() && args[first] != script) first++;
    first = first < args.size() ? first + 1 : args.size();
    const Cell* boot = live_field({"options", "boot"});
    if (boot && boot->is(TYPE_NONE)) {
        const Cell text = *os_info::push_text(program().data(), program().size());
        set_live({"options", "boot"}, text);
    }
    Cell* file = os_info::push_text(script, std::strlen(script));
    file->set_type(TYPE_FILE);
    set_live({"options", "script"}, *file);
    Cell* block = block::push_new(int32_t(args.size() - first));
    std::string joined;
    for (size_t i = first; i < args.size(); i++) {
        const Cell text = *os_info::push_text(args[i].data(), args[i].size());
        block::append_cell(block, &text);
        stack::pop(1);
        os_info::append_argument(joined, args[i]);
    }
    set_live({"options", "args"}, *block);
    set_live({"script", "args"}, *os_info::push_text(joined.data(), joined.size()));
}

}  // namespace zun::system_object
