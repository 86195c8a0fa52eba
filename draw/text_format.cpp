#include "draw/text_format.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "core/externals.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/triple.hpp"
#include "gui/font.hpp"

// Under the leak checker: fontconfig, pango and their kin keep caches for
// the life of the process (the font configuration, the shared font map).
#if defined(__SANITIZE_ADDRESS__)
#define ZUN_TEXT_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZUN_TEXT_LSAN 1
#endif
#endif
#ifdef ZUN_TEXT_LSAN
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libpangocairo-1.0.so\nleak:libharfbuzz.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n";
}
#endif

namespace zun::draw {

namespace {

PangoFontMap* g_font_map = nullptr;
PangoContext* g_context = nullptr;
int g_font_kind = 0;
int g_layout_kind = 0;
std::unordered_set<TextResource*> g_live;

void release_resource(uintptr_t resource) {
    auto* r = reinterpret_cast<TextResource*>(resource);
    g_live.erase(r);
    delete r;
}

void make_context() {
    g_font_map = pango_cairo_font_map_new();
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(g_font_map), 96.0);
    // Natural advances: metrics unhinted, outlines unhinted, grey.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    g_context = make_text_context(options);
    cairo_font_options_destroy(options);
}

// A field of an object by name, or none. Copies: looking a name up may make
// its symbol, and that may move the buffers the cells lie in.
Cell named_field(Cell object, const char* name) {
    if (!object.is(TYPE_OBJECT)) return shared_none_cell;
    const Cell* value = context::find_word_value(symbol::make(name), object.data1);
    return value ? *value : shared_none_cell;
}

Cell view_fonts() {
    const uint32_t system = symbol::make("system");
    const Cell* global = context::find_word_value(system, context::global());
    const Cell view = named_field(global ? *global : shared_none_cell, "view");
    return named_field(view, "fonts");
}

}  // namespace

std::string family_name(const Cell* name) {
    std::string out;
    const int32_t length = string::length_from_start(name) - string::head_index(name);
    const int32_t n = std::min<int32_t>(length, 31);
    for (int32_t i = 0; i < n; ++i) {
        uint32_t c = string::char_at(name, string::head_index(name) + i);
        if (c == 0 || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) c = 0xFFFD;
        char buf[6];
        out.append(buf, size_t(g_unichar_to_utf8(c, buf)));
    }
    return out;
}

namespace {

FormatRef make_format(const std::string& family, int size_pt, int weight, bool italic) {
    auto f = std::make_shared<TextFormat>();
    f->desc = pango_font_description_new();
    pango_font_description_set_family(f->desc, family.c_str());
    pango_font_description_set_size(f->desc, size_pt * PANGO_SCALE);
    pango_font_description_set_weight(f->desc, PangoWeight(weight));
    pango_font_description_set_style(f->desc, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    f->size_px = size_pt * 96.0 / 72.0;
    return f;
}

}  // namespace

TextFormat::TextFormat(const TextFormat& other)
    : desc(pango_font_description_copy(other.desc)),
      size_px(other.size_px),
      text_align(other.text_align),
      para_align(other.para_align),
      wrap(other.wrap),
      tab_stop(other.tab_stop),
      uniform(other.uniform),
      spacing(other.spacing),
      natural(other.natural) {}

TextFormat::~TextFormat() {
    if (desc) pango_font_description_free(desc);
}

PangoContext* make_text_context(const cairo_font_options_t* options) {
    if (!g_font_map) make_context();
    PangoContext* made = pango_font_map_create_context(g_font_map);
    pango_cairo_context_set_resolution(made, 96.0);
    pango_cairo_context_set_font_options(made, options);
    // glyph positions kept fractional
    pango_context_set_round_glyph_positions(made, FALSE);
    pango_context_set_language(made, pango_language_get_default());
    return made;
}

PangoContext* shared_context() {
    if (!g_context) make_context();
    return g_context;
}
PangoFontMap* shared_font_map() {
    if (!g_font_map) make_context();
    return g_font_map;
}

int font_kind() {
    if (!g_font_kind) g_font_kind = externals::register_kind("font", release_resource);
    return g_font_kind;
}
int layout_kind() {
    if (!g_layout_kind) g_layout_kind = externals::register_kind("com-object", release_resource);
    return g_layout_kind;
}

namespace {
void enter(TextResource* resource) {
    static uint32_t serial = 0;
    resource->serial = ++serial;
    g_live.insert(resource);
}
}  // namespace

Cell resource_handle(TextResource* resource, int kind, uint32_t handle_kind) {
    enter(resource);
    const int32_t entry = externals::add(reinterpret_cast<uintptr_t>(resource), kind);
    return make_cell(TYPE_HANDLE, handle_kind, resource->serial, uint32_t(entry));
}

Cell replace_resource(int32_t entry, TextResource* resource, uint32_t handle_kind) {
    enter(resource);
    externals::set_pointer(entry, reinterpret_cast<uintptr_t>(resource));
    return make_cell(TYPE_HANDLE, handle_kind, resource->serial, uint32_t(entry));
}

size_t live_resources() { return g_live.size(); }

TextResource* handle_resource(const Cell* handle) {
    if (!handle->is(TYPE_HANDLE) || int32_t(handle->data3) < 0 ||
        int32_t(handle->data3) >= externals::capacity())
        return nullptr;
    auto* r = reinterpret_cast<TextResource*>(externals::resource(int32_t(handle->data3)));
    return g_live.count(r) && r->serial == handle->data2 ? r : nullptr;
}

std::string default_family() {
    const Cell name = named_field(view_fonts(), "system");
    if (name.is(TYPE_STRING)) return family_name(&name);
    return "sans-serif";
}

int default_size() {
    const Cell size = named_field(view_fonts(), "size");
    if (size.is(TYPE_INTEGER) && size.as_int() >= 1) return size.as_int();
    return 9;
}

bool object_with_fields(const Cell* value, uint32_t n) {
    return value->is(TYPE_OBJECT) && object::field_count(value) >= n;
}

Cell* field_of(const Cell* object, uint32_t i) { return object::values_base(object) + i; }

// Compares the spelling, ignoring ASCII case: making the name's symbol could
// allocate, and callers hold cells of buffers the collector may move.
bool word_is(const Cell* cell, const char* name) {
    if (!(cell->is(TYPE_WORD) || cell->is(TYPE_LIT_WORD))) return false;
    const std::string_view spelling = symbol::name(cell->data2);
    if (spelling.size() != std::strlen(name)) return false;
    for (size_t i = 0; i < spelling.size(); ++i)
        if (g_ascii_tolower(spelling[i]) != g_ascii_tolower(name[i])) return false;
    return true;
}

bool holds_word(const Cell* facet, const char* name) {
    if (word_is(facet, name)) return true;
    if (!facet->is(TYPE_BLOCK)) return false;
    for (const Cell* c = block::head_cell(const_cast<Cell*>(facet)); c < block::tail_cell(facet); ++c)
        if (word_is(c, name)) return true;
    return false;
}

FormatRef default_format() { return make_format(default_family(), default_size(), 400, false); }

FormatRef text_format(const Cell* font) {
    if (!font || !object_with_fields(font, gui::FONT_FIELDS)) return default_format();
    const Cell font_cell = *font;
    if (Cell* state = gui::font_state(&font_cell))
        if (auto* held = dynamic_cast<FormatHolder*>(handle_resource(block::head_cell(state) + 1)))
            return held->format;
    // The format takes the description of the font record.
    const gui::FontRecord* record = gui::make_font(nullptr, &font_cell, false);
    auto made = std::make_shared<TextFormat>();
    made->desc = pango_font_description_copy(record->desc);
    made->size_px = pango_font_description_get_size(made->desc) / double(PANGO_SCALE) * 96.0 / 72.0;
    const Cell handle = resource_handle(new FormatHolder(made), font_kind(), handle::FONT);
    if (Cell* state = gui::font_state(&font_cell)) block::head_cell(state)[1] = handle;
    return made;
}

void para_format(TextFormat& format, uint32_t flags) {
    format.text_align = (flags & 1) ? 2 : (flags & 2) ? 1 : 0;
    format.para_align = (flags & 4) ? 2 : (flags & 8) ? 1 : 0;
    format.wrap = (flags & 0x10) != 0;
}

void tab_stops(TextFormat& format, const Cell* tabs) {
    if (tabs->is(TYPE_INTEGER)) format.tab_stop = tabs->as_int();
    else if (tabs->is(TYPE_FLOAT)) format.tab_stop = tabs->as_double();
}

double natural_line_height(const TextFormat& format) {
    PangoLayout* layout = pango_layout_new(shared_context());
    pango_layout_set_font_description(layout, format.desc);
    pango_layout_set_text(layout, "I", 1);
    PangoRectangle logical;
    pango_layout_line_get_extents(pango_layout_get_line_readonly(layout, 0), nullptr, &logical);
    g_object_unref(layout);
    return double(logical.height) / PANGO_SCALE;
}

void line_spacing(TextFormat& format, const Cell* value) {
    const double natural = natural_line_height(format);
    double spacing = natural;
    if (value && value->is(TYPE_INTEGER)) spacing = std::max<double>(value->as_int(), natural);
    else if (value && value->is(TYPE_FLOAT)) spacing = std::max(value->as_double(), natural);
    format.uniform = true;
    format.spacing = spacing;
    format.natural = natural;
}

}  // namespace zun::draw
