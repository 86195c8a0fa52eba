#include "draw/walker.hpp"

#include <cmath>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"

namespace zun::draw {

namespace {

constexpr const char* OPT_NAMES[OPT_COUNT] = {
    "off", "linear", "radial", "diamond", "pattern", "bitmap", "pad", "repeat", "reflect",
    "tile", "flip-x", "flip-y", "flip-xy", "clamp", "closed", "miter", "bevel", "round",
    "miter-bevel", "flat", "square", "border", "crop", "inset", "replace", "intersect",
    "union", "xor", "exclude", "pen", "fill-pen", "sweep", "large",
    "move", "line", "hline", "vline", "arc", "curve", "curv", "qcurve", "qcurv", "close",
};
uint32_t g_opt[OPT_COUNT];

// Canonical command symbols, parallel to the command table.
std::vector<uint32_t> g_command_symbols;

uint32_t canonical_of(const char* name) { return symbol::canonical(symbol::make(name)); }

}  // namespace

void init_symbols() {
    // a runtime made again (unit tests) has new symbols
    static uint32_t made_in = 0;
    if (!g_command_symbols.empty() && made_in == symbols::generation()) return;
    made_in = symbols::generation();
    g_command_symbols.clear();
    for (int i = 0; i < OPT_COUNT; i++) g_opt[i] = canonical_of(OPT_NAMES[i]);
    size_t n = 0;
    const Command* table = commands(&n);
    for (size_t i = 0; i < n; i++) g_command_symbols.push_back(canonical_of(table[i].name));
}

Rgba tuple_to_rgba(const uint8_t* bytes, int length) {
    return Rgba{bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0,
                length > 3 ? (255 - bytes[3]) / 255.0 : 1.0};
}

SurfaceRef adopt_surface(cairo_surface_t* s) { return SurfaceRef(s, cairo_surface_destroy); }

Walker::Walker(cairo_t* cr_, const Target& t, bool catch_mode_)
    : cr(cr_), target(t), catch_mode(catch_mode_) {
    init_symbols();
    st.text_colour = st.pen.colour;
    apply_all();
}

// ---------------------------------------------------------------- walking

Walker::Cursor Walker::enter(const Cell* block) {
    const NodeId node = block->data2;
    if (cycles::find(node)) report(ErrorId::script_draw_infinite, block);
    cycles::push(node);  // the 1000th level raises too-deep
    const Cursor saved{at, end, m_head, m_node};
    auto* buf = block::buffer_of(block);
    m_head = buf->head_cell();
    m_node = node;
    at = m_head + block::head_index(block);
    end = buf->tail_cell();
    if (at > end) at = end;
    return saved;
}

void Walker::leave(const Cursor& saved) {
    at = saved.at;
    end = saved.end;
    m_head = saved.head;
    m_node = saved.node;
    cycles::pop();
}

void Walker::walk_block(const Cell* block) {
    walk_with(block, [this] { step(); });
}

void Walker::step() {
    const Cell* cell = at++;
    switch (cell->type()) {
    case TYPE_WORD: {
        const uint32_t s = symbol::canonical(cell->data2);
        size_t n = 0;
        const Command* table = commands(&n);
        for (size_t i = 0; i < n; i++)
            if (g_command_symbols[i] == s) return table[i].run(*this, cell);
        invalid(cell);
    }
    case TYPE_SET_WORD: return set_marker(cell);
    case TYPE_BLOCK: return walk_block(cell);
    default: invalid(cell);
    }
}

// The word gets the draw block positioned after it. Painting runs outside
// any function, so in catch mode a function's local is refused.
void Walker::set_marker(const Cell* set_word) {
    Cell word = *set_word;
    if (catch_mode && word.data1 && (context::cell_of(word.data1)->header & context::STACK_FLAG))
        invalid(set_word);
    const Cell marker = make_cell(TYPE_BLOCK, uint32_t(at - m_head), m_node, 0);
    word.set_type(TYPE_WORD);
    word::set_value(&word, &marker);
}

void Walker::invalid(const Cell* where) {
    if (where < end && where->is(TYPE_BLOCK) && where->data2 == m_node)
        report(ErrorId::script_draw_infinite, where);
    const Cell positioned = make_cell(TYPE_BLOCK, uint32_t(where - m_head), m_node, 0);
    report(ErrorId::script_draw_invalid, &positioned);
}

// Under system/view/silent? the drawing is abandoned without a word; else
// the error goes to the pass, which prints it (catch mode) or raises it.
void Walker::report(ErrorId id, const Cell* arg) {
    const Cell copy = *arg;
    cycles::reset();
    if (view_silent()) throw SilentAbort{};
    support::fire_error(id, &copy);
}

// ---------------------------------------------------------------- readers

bool Walker::is(const Cell* c, Opt o) {
    return c->is(TYPE_WORD) && symbol::canonical(c->data2) == g_opt[o];
}

bool Walker::named(const Cell* c, Opt o) {
    return word::any_word_type_q(c->type()) && symbol::canonical(c->data2) == g_opt[o];
}

bool Walker::maybe(Opt o) {
    if (more() && is(at, o)) return ++at, true;
    return false;
}

const Cell* Walker::word_value(const Cell* c) {
    if (!c->is(TYPE_WORD)) return c;
    if (catch_mode && c->data1 && (context::cell_of(c->data1)->header & context::STACK_FLAG))
        invalid(c);
    const Cell* v = c->data1 ? word::get_value(c) : nullptr;
    return v ? v : c;
}

Point Walker::point(const Cell* c) {
    if (c->is(TYPE_PAIR)) return Point{double(pair::x_of(c)), double(pair::y_of(c))};
    return Point{point::coordinate(c, 0), point::coordinate(c, 1)};
}

double Walker::number(const Cell* c) {
    return c->is(TYPE_INTEGER) ? double(c->as_int()) : c->as_double();
}

Point Walker::take_point() {
    if (!next_point()) invalid_here();
    return point(at++);
}

double Walker::take_number() {
    if (!next_number()) invalid_here();
    return number(at++);
}

double Walker::take_scale() {
    if (more() && at->is(TYPE_PERCENT)) return (at++)->as_double();
    return take_number();
}

bool Walker::maybe_point(Point* p) {
    if (!next_point()) return false;
    *p = point(at++);
    return true;
}

bool Walker::maybe_number(double* n) {
    if (!next_number()) return false;
    *n = number(at++);
    return true;
}

bool Walker::colour_at(const Cell* c, Rgba* out) {
    const Cell* v = word_value(c);
    if (!v->is(TYPE_TUPLE)) return false;
    uint8_t bytes[tuple::MAX_LENGTH];
    tuple::get_bytes(v, bytes);
    *out = tuple_to_rgba(bytes, tuple::length_of(v));
    return true;
}

bool Walker::maybe_colour(Rgba* out) {
    if (!more() || !colour_at(at, out)) return false;
    ++at;
    return true;
}

const Cell* Walker::maybe_image() {
    if (!more()) return nullptr;
    const Cell* v = word_value(at);
    if (!v->is(TYPE_IMAGE)) return nullptr;
    ++at;
    return v;
}

const Cell* Walker::take_block() {
    if (!(more() && at->is(TYPE_BLOCK))) invalid_here();
    return at++;
}

// ---------------------------------------------------------------- state

Walker::Scope::Scope(Walker& w) : m_w(w), m_clips(w.clip_count) {
    // a state that cannot be saved is never restored: the pass reports it
    support::no_memory_guard([&] { m_saved = w.st; });
}

Walker::Scope::~Scope() {
    m_w.end_clips(m_clips);
    m_w.st = std::move(m_saved);
    m_w.apply_all();
}

void Walker::apply_transform() {
    // cairo keeps no singular matrix: while ours is one nothing draws
    if (st.transform.invertible()) {
        const cairo_matrix_t m = st.transform.to_cairo();
        cairo_set_matrix(cr, &m);
    }
}

void Walker::apply_stroke() {
    static const cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_BEVEL,
                                              CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_MITER};
    static const cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_SQUARE,
                                            CAIRO_LINE_CAP_ROUND};
    const double width = std::isfinite(st.width) && st.width > 0 ? st.width : 0;
    cairo_set_line_width(cr, width);
    cairo_set_line_join(cr, joins[st.join & 3]);
    cairo_set_line_cap(cr, caps[st.cap % 3]);
    cairo_set_miter_limit(cr, 10);
    // dashes count in line widths; cairo's are absolute
    double sum = 0;
    bool usable = width > 0 && st.dashes.size() <= 4096;
    for (double d : st.dashes) {
        if (!(d >= 0) || !std::isfinite(d)) usable = false;
        sum += d;
    }
    if (usable && sum > 0) {
        std::vector<double> scaled(st.dashes);
        for (double& d : scaled) d *= width;
        cairo_set_dash(cr, scaled.data(), int(scaled.size()), 0);
    } else {
        cairo_set_dash(cr, nullptr, 0, 0);
    }
}

void Walker::apply_all() {
    apply_transform();
    apply_stroke();
    cairo_set_antialias(cr, st.antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
}

void Walker::push_clip() {
    cairo_save(cr);
    ++clip_count;
}

void Walker::end_clips(int down_to) {
    if (clip_count <= down_to) return;
    while (clip_count > down_to) {
        cairo_restore(cr);
        --clip_count;
    }
    apply_all();
}

}  // namespace zun::draw
