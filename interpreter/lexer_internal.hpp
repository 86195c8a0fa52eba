// Shared by the lexer's source files: the lexer state, the token buffer and
// the handlers of the token kinds. Not for other modules.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/lexer_tables.hpp"

namespace zun::lexer {

constexpr uint32_t PATH_ENTRY_STATE = 59;
constexpr uint32_t BRACED_ENTRY_STATE = 4;
constexpr uint32_t POINT_ENTRY_STATE = 35;

// Token kinds the code names.
enum Kind : uint32_t {
    K_END = 0, K_INVALID, K_BLOCK_OPEN, K_BLOCK_CLOSE, K_PAREN_OPEN, K_PAREN_CLOSE, K_BRACE_OPEN,
    K_BRACE_CLOSE, K_MAP_OPEN, K_PATH, K_CONSTRUCT, K_COMMENT, K_COMMA, K_STRING, K_WORD, K_ISSUE,
    K_INTEGER, K_REFINEMENT, K_CHAR, K_FILE, K_BINARY, K_PERCENT, K_FLOAT, K_FLOAT_SPECIAL,
    K_TUPLE, K_DATE, K_PAIR, K_POINT, K_TIME, K_MONEY, K_TAG, K_URL, K_EMAIL, K_HEX, K_RAW_STRING,
    K_REF
};
constexpr uint32_t FIRST_VALUE_KIND = K_STRING;

// Error codes of lexer::error besides datatype ids.
enum ErrorCode : int32_t {
    CODE_BAD_CHAR = -1, CODE_MALCONSTRUCT = -2, CODE_MISSING = -3, CODE_MISSING_AT_END = -4
};

// One record per active scan, linked into a chain: a scan started from a
// callback pushes a new one. Positions in the token buffer are cell indexes,
// so growing the buffer moves nothing here.
struct State {
    State* next = nullptr;
    State* parent = nullptr;
    uint32_t head = 0;          // first cell of this scan
    uint32_t series_begin = 0;  // first cell of the innermost open series
    uint32_t tail = 0;          // next free cell
    const uint8_t* input_start = nullptr;
    const uint8_t* input_end = nullptr;
    const uint8_t* position = nullptr;
    const uint8_t* token_end = nullptr;
    uint32_t line = 1;
    uint32_t token_lines = 0;
    int32_t error_type = -1;
    int32_t type = 0;
    uint32_t entry_state = 0;
    uint32_t previous_state = 0;
    int32_t missing_type = 0;
    int32_t last_type = 0;
    const uint8_t* string_start = nullptr;
    int32_t string_depth = 0;
    uint32_t string_flags = 0;
    uint32_t string_lines = 0;  // line feeds before the braced string
    Cell callback{};            // unset! when none
    uint32_t refinement_count = 0;
    uint32_t event_mask = 0;
    Cell input{};               // unset! when none
    bool string_input = false;
    int32_t input_base = 0;     // the input series' index of input_start
    bool loading = false;
    bool one_value = false;
    bool scan_only = false;
    // Control of the scan loop.
    bool halted = false;      // an error in a scan that builds no values
    bool cancelled = false;   // the callback cancelled an error: skip the token
    bool done = false;        // one value complete
    const uint8_t* jump = nullptr;  // a callback moved the input's index
    // char_index's one-entry cache.
    const uint8_t* cache_position = nullptr;
    uint32_t cache_count = 0;

    bool has_callback() const { return !callback.is(TYPE_UNSET); }
};

// The token buffer.
extern Cell* g_cells;
inline Cell* cell_at(uint32_t index) { return g_cells + index; }
// The next free cell, unset! with the new-line mark when lines preceded the
// token; good until the token buffer grows (only this call grows it).
Cell* grow_token_buffer(State& st);
// Stores the value in a fresh cell, keeping the new-line mark; answers it.
Cell* emit(State& st, const Cell& value);
bool is_marker(const Cell* cell);

// Raises the syntax error, or answers when the error does not propagate (a
// scan that builds no values, or the callback cancelled it): the caller must
// then stop handling the token.
void error(State& st, const uint8_t* start, const uint8_t* end, int32_t code);
inline bool stopped(const State& st) { return st.halted || st.cancelled; }

// Fires an event; true when it is not watched.
bool fire_event(State& st, uint32_t bit, int32_t type, const Cell* value,
                const uint8_t* start, const uint8_t* end);

// Series on the token buffer.
void open_series(State& st, uint32_t type, const uint8_t* start, const uint8_t* end);
void close_series(State& st, const uint8_t* start, const uint8_t* end, int32_t expected);
void close_path(State& st);
// The innermost open series' marker type (0 when none is open in this scan).
uint32_t open_marker_type(const State& st);

// Handlers: lexer state, token start and end, OR-ed flags, load flag.
using Handler = void (*)(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags,
                         bool load);
#define ZUN_LEXER_DECLARE(name) void name(State&, const uint8_t*, const uint8_t*, uint32_t, bool);
ZUN_LEXER_DECLARE(handle_none)
ZUN_LEXER_DECLARE(error_token)
ZUN_LEXER_DECLARE(open_block)
ZUN_LEXER_DECLARE(load_map)
ZUN_LEXER_DECLARE(close_paren)
ZUN_LEXER_DECLARE(open_braced_string)
ZUN_LEXER_DECLARE(close_braced_string)
ZUN_LEXER_DECLARE(open_map)
ZUN_LEXER_DECLARE(open_path)
ZUN_LEXER_DECLARE(load_construct)
ZUN_LEXER_DECLARE(comment)
ZUN_LEXER_DECLARE(comma)
ZUN_LEXER_DECLARE(read_string_char)
ZUN_LEXER_DECLARE(load_quoted_string)
ZUN_LEXER_DECLARE(scan_word)
ZUN_LEXER_DECLARE(scan_issue)
ZUN_LEXER_DECLARE(load_word)
ZUN_LEXER_DECLARE(load_integer)
ZUN_LEXER_DECLARE(load_refinement)
ZUN_LEXER_DECLARE(load_char)
ZUN_LEXER_DECLARE(load_file)
ZUN_LEXER_DECLARE(load_binary)
ZUN_LEXER_DECLARE(load_percent)
ZUN_LEXER_DECLARE(load_float_text)
ZUN_LEXER_DECLARE(load_float_special)
ZUN_LEXER_DECLARE(load_tuple)
ZUN_LEXER_DECLARE(scan_date)
ZUN_LEXER_DECLARE(load_pair)
ZUN_LEXER_DECLARE(load_point)
ZUN_LEXER_DECLARE(load_time)
ZUN_LEXER_DECLARE(load_money)
ZUN_LEXER_DECLARE(load_tag)
ZUN_LEXER_DECLARE(load_url)
ZUN_LEXER_DECLARE(load_email)
ZUN_LEXER_DECLARE(load_hex_or_word)
ZUN_LEXER_DECLARE(load_raw_string)
ZUN_LEXER_DECLARE(load_ref)
#undef ZUN_LEXER_DECLARE

// Whether a "(" at start (pointing after it) begins a point.
bool point_ahead(const uint8_t* p, const uint8_t* end);
// Decodes one UTF-8 character of the input; -1 for a malformed sequence.
int32_t decode_input_char(const uint8_t*& p, const uint8_t* end);
bool delimiter_q(uint32_t code_point);

// Float text: the syntax machine, then the conversion (decimal exponent
// shift -2 for percent!). False when the text is not a number.
bool float_syntax_q(const uint8_t* s, const uint8_t* e);
bool convert_float(const uint8_t* s, const uint8_t* e, int shift, double* value);

// Parsed forms of the tokens whose datatypes make the values.
struct DateFields {
    int32_t year = 0, month = 0, day = 0;
    int32_t week = 0, weekday = 0, yearday = 0;  // ISO week and ordinal forms
    bool has_time = false;
    double seconds = 0.0;  // time of day
    bool has_zone = false;
    int32_t zone_minutes = 0;
};
bool parse_date(const uint8_t* s, const uint8_t* e, DateFields* date);
bool parse_time(const uint8_t* s, const uint8_t* e, double* seconds);
bool parse_integer(const uint8_t* s, const uint8_t* e, int32_t* value, bool* overflow);
struct MoneyParts {
    bool negative = false;
    const uint8_t* code = nullptr;  // three letters or nullptr
    const uint8_t* digits = nullptr;
    uint32_t digit_count = 0;
    const uint8_t* fraction = nullptr;
    uint32_t fraction_count = 0;
};
bool parse_money(const uint8_t* s, const uint8_t* e, MoneyParts* money);

// Value makers: float! through its datatype; the others raise internal
// not-done until their datatype offers the maker.
void make_float(Cell* cell, uint32_t type, double value);  // float!, percent!, time!
void make_pair(Cell* cell, int32_t x, int32_t y);
void make_point(Cell* cell, const double* xyz, int count);
void make_tuple(Cell* cell, const uint8_t* bytes, int count);
void make_date(Cell* cell, const DateFields& date);
void make_money(Cell* cell, const MoneyParts& money);
void make_map(Cell* cell, const Cell* block);

}  // namespace zun::lexer
