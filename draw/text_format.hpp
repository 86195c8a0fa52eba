// Text formats and text layouts on pango: one shared pango-cairo font map and
// context at 96 DPI (layouts work in logical pixels), natural advances (no
// hinting of metrics, glyph positions not rounded).
//
// A text format is a font description with the paragraph settings that the
// layouts made from it take over: horizontal and vertical alignment,
// wrapping, the incremental tab stop and uniform line spacing.
#pragma once
#include <pango/pangocairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/cell.hpp"

namespace zun::draw {

// Objects the external-resource table may own: font records, text formats
// and text layouts. The table's kinds delete them.
struct TextResource {
    uint32_t serial = 0;  // the handle! value: a reused entry never answers another's
    virtual ~TextResource() = default;
};

struct TextFormat {
    PangoFontDescription* desc = nullptr;
    double size_px = 12;    // the font size in logical pixels
    int text_align = 0;     // 0 leading, 1 trailing, 2 centre
    int para_align = 0;     // 0 near, 1 far, 2 centre
    bool wrap = false;
    double tab_stop = 0;    // logical pixels; 0: four times the font size
    bool uniform = false;   // uniform line spacing of `spacing` pixels
    double spacing = 0;
    double natural = 0;     // the natural line height uniform spacing replaces
    TextFormat() = default;
    TextFormat(const TextFormat& other);
    TextFormat& operator=(const TextFormat&) = delete;
    ~TextFormat();
};
using FormatRef = std::shared_ptr<TextFormat>;

// A format cached in a font's state block, as an external resource.
struct FormatHolder : TextResource {
    FormatRef format;
    explicit FormatHolder(FormatRef f) : format(std::move(f)) {}
};

// The shared measuring context, made at the first use.
PangoContext* shared_context();
PangoFontMap* shared_font_map();
// A context over the shared font map at 96 DPI with natural advances and
// these font options (their rendering part only changes pixels).
PangoContext* make_text_context(const cairo_font_options_t* options);

// Kinds of the external-resource table: "font" (records and formats of a
// font) and "com-object" (text layouts).
int font_kind();
int layout_kind();
// A handle! cell for a resource registered under a kind.
Cell resource_handle(TextResource* resource, int kind, uint32_t handle_kind);
// Puts the resource into a used entry, releasing the one it held.
Cell replace_resource(int32_t entry, TextResource* resource, uint32_t handle_kind);
// How many font records, formats and layouts are alive.
size_t live_resources();
// The resource a handle! holds, or nullptr when it holds none.
TextResource* handle_resource(const Cell* handle);

// Defaults of system/view/fonts: the family and the size in points, with
// "sans-serif" and 9 while no such object exists.
std::string default_family();
// A family name from a string!, cut to 31 characters.
std::string family_name(const Cell* name);
int default_size();

// The text format of a font object: made once and cached in its state block.
// font may be nullptr or none: then an uncached format from the defaults.
FormatRef text_format(const Cell* font);
// A format of the defaults, uncached.
FormatRef default_format();
// The para bits: 1 centre, 2 trailing, 4 paragraph centre, 8 far, 0x10 wrap.
void para_format(TextFormat& format, uint32_t flags);
// An integer! or float! sets the incremental tab stop; other values are ignored.
void tab_stops(TextFormat& format, const Cell* tabs);
// Uniform spacing: the number (when given) raised to the height of a line of "I".
void line_spacing(TextFormat& format, const Cell* value);
// The natural height of a line of "I" in the format, in logical pixels.
double natural_line_height(const TextFormat& format);

// Whether a value is an object with at least n fields.
bool object_with_fields(const Cell* value, uint32_t n);
// Field i of an object (no checks).
Cell* field_of(const Cell* object, uint32_t i);
// Whether a cell is a word!/lit-word! of that name (case-insensitive).
bool word_is(const Cell* cell, const char* name);
// Whether a facet (a word or a block of words) holds the word.
bool holds_word(const Cell* facet, const char* name);

}  // namespace zun::draw
