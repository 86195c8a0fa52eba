// EDIT's parts shared by its files: the text with its line index
// (edit_buffer.cpp), the rows it is laid out in (edit_layout.cpp), painting
// (edit_paint.cpp) and the window procedure (edit.cpp).
#pragma once
#include <pango/pangocairo.h>

#include <string>
#include <unordered_map>
#include <string_view>
#include <vector>

#include "platform/controls/control_draw.hpp"
#include "platform/controls/edit.hpp"
#include "platform/text_rendering.hpp"

namespace zun::win::controls::edit {

// UTF-8 text and an index of its hard lines. Offsets are bytes; a multi-line
// buffer keeps every break as CR LF and no offset falls between the two.
class TextBuffer {
public:
    struct Line {
        size_t byte = 0;   // where it starts
        size_t chr = 0;    // its first code point's position
        int rows = 0;      // rows it takes when laid out; 0: not known
        int width = -1;    // pixel width unwrapped; -1: not known
    };
    explicit TextBuffer(bool multiline = false) : m_multi(multiline) { set(""); }
    const std::string& text() const { return m_text; }
    bool multiline() const { return m_multi; }
    size_t size() const { return m_text.size(); }
    size_t chars() const { return m_chars; }
    size_t line_count() const { return m_lines.size(); }
    Line& line(size_t i) { return m_lines[i]; }
    const Line& line(size_t i) const { return m_lines[i]; }
    size_t line_start(size_t i) const { return m_lines[i].byte; }
    // Where line i's text ends, before its break.
    size_t line_end(size_t i) const { return i + 1 < m_lines.size() ? m_lines[i + 1].byte - 2 : m_text.size(); }
    size_t line_of(size_t byte) const;
    size_t char_of(size_t byte) const;
    size_t byte_of(size_t position) const;  // clamped to the end
    // One code point (a break as one) forward or back.
    size_t next(size_t byte) const;
    size_t prev(size_t byte) const;
    // A byte offset moved off the middle of a break or of a UTF-8 sequence.
    size_t snap(size_t byte) const;

    void set(std::string_view text);
    // Replaces [from, to) with text normalized by normalize().
    void replace(size_t from, size_t to, std::string_view insert);
    // Valid UTF-8; in a multi-line buffer every CR, LF and CR LF as CR LF, in
    // a one-line buffer each kept as it is.
    std::string normalize(std::string_view text) const;
    // Drops the known rows and widths (the font or the width changed).
    void forget_layout();

private:
    void index_from(size_t first_line);
    std::string m_text;
    std::vector<Line> m_lines;
    size_t m_chars = 0;
    bool m_multi;
};

size_t count_chars(std::string_view utf8);
// Bytes of the first n code points of utf8 (all of it when shorter).
size_t prefix_bytes(std::string_view utf8, size_t n);
char32_t decode_at(std::string_view utf8, size_t byte);
void append_utf8(std::string& out, char32_t c);

// One level of undo: what a change replaced, so that undoing is the same
// kind of change again (and undoing an undo redoes). Typing and deleting
// runs merge into one step.
struct UndoStep {
    enum Kind { none, typing, deleting, other } kind = none;
    size_t at = 0;             // byte where the change starts
    std::string removed;       // what was there
    size_t inserted = 0;       // bytes put in its place
    size_t anchor = 0, caret = 0;  // the selection before the change
};

struct Edit : ControlBase {
    TextBuffer buf;
    size_t anchor = 0, caret = 0;  // byte offsets; the selection runs between them
    size_t limit = EDIT_DEFAULT_LIMIT;
    UndoStep undo;
    bool modified = false;
    char32_t password = 0;
    std::string cue;
    bool cue_when_focused = true;
    bool focused = false, caret_on = false, dragging = false;
    int top_row = 0;      // first row shown (several lines)
    int32_t scroll_x = 0; // pixels the text is shifted left
    int goal_x = -1;      // the x Up and Down keep to
    std::vector<int32_t> tabs;  // tab stops in dialog units; empty: every 32
    RECT caret_drawn{};   // where the caret was last drawn (blinks repaint it)
    SCROLLINFO bars_set[2]{};  // what the bars were last given

    // Layout state, made again when the font or the DPI changes.
    PangoContext* context = nullptr;
    PangoTabArray* tab_array = nullptr;
    HFONT layout_font = 0;
    uint32_t layout_dpi = 0;
    TextRendering layout_rendering;  // the desktop's settings may change it
    int line_h = 0, baseline = 0, char_w = 0, wrap_width = -1;
    std::vector<int> first_row;  // by line: its first row; last: the row count
    std::unordered_map<char32_t, int> advances;  // pango units, by code point
    // Layouts by the text they show: a key typed lays out its own line again,
    // the other lines shown come from here.
    std::unordered_map<std::string, PangoLayout*> layouts;
    void forget_layouts();
    bool rows_known = false;

    size_t lo() const { return std::min(anchor, caret); }
    size_t hi() const { return std::max(anchor, caret); }
    ~Edit() override;
};

// ---- layout (edit_layout.cpp) ------------------------------------------------
bool multiline(HWND hwnd);
bool wraps(HWND hwnd);  // several lines without ES_AUTOHSCROLL
RECT text_rect(HWND hwnd);
// Makes the context, metrics and rows current for the window's font, DPI and
// width.
void prepare(HWND hwnd, Edit& e);
int row_count(HWND hwnd, Edit& e);
int visible_rows(HWND hwnd, Edit& e);
// A hard line laid out (rows and x positions): the layout is dropped with it.
struct LineLayout {
    PangoLayout* layout = nullptr;
    std::string shown;  // what it shows (bullets for a password)
    size_t line = 0;
    LineLayout(HWND hwnd, Edit& e, size_t line);
    ~LineLayout();
    LineLayout(const LineLayout&) = delete;
    LineLayout& operator=(const LineLayout&) = delete;
    int rows() const { return pango_layout_get_line_count(layout); }
    PangoLayoutLine* row(int k) const { return pango_layout_get_line_readonly(layout, k); }
    int row_width(int k) const;
    int width() const;
    // Index into the shown text of a byte of the buffer, and back.
    int shown_index(const Edit& e, size_t byte) const;
    size_t buffer_byte(const Edit& e, int index) const;
};
struct RowPlace {
    int row;  // the row of the whole text
    int x;    // client x of the position
    int y;    // client y of the row's top
};
RowPlace place_of(HWND hwnd, Edit& e, size_t byte);
// The row's left edge in client coordinates, for a row of that width.
int row_left(HWND hwnd, const Edit& e, int width);
int row_top(HWND hwnd, Edit& e, int row);
// The buffer byte nearest a client point.
size_t byte_at(HWND hwnd, Edit& e, int x, int y);
// The hard line of a row and the row's index within it.
std::pair<size_t, int> line_of_row(HWND hwnd, Edit& e, int row);
// Byte range [start, end) of a row (end before a break or a wrap).
std::pair<size_t, size_t> row_range(HWND hwnd, Edit& e, int row);
int longest_width(HWND hwnd, Edit& e);
void scroll_to_caret(HWND hwnd, Edit& e);
// Scrolls to a first row and a pixel shift, clamped; answers whether it moved.
bool scroll_to(HWND hwnd, Edit& e, int top_row, int32_t x);
void update_bars(HWND hwnd, Edit& e);
void place_ime_caret(HWND hwnd, Edit& e);
// Width of text as shown on one line.
int text_width(HWND hwnd, Edit& e, std::string_view utf8);

// ---- painting (edit_paint.cpp) ----------------------------------------------
void paint(HWND hwnd, Edit& e);
// Where the caret is drawn, in client coordinates.
RECT caret_rect(HWND hwnd, Edit& e);

}  // namespace zun::win::controls::edit
