// The lexer's constant tables, generated at build time from the data files
// interpreter/lexer-*.tsv (tools/gen_lexer_tables.py).
#pragma once
#include <cstdint>

namespace zun::lexer::tables {

constexpr uint32_t CLASS_COUNT = 40;
constexpr uint32_t SCANNING_STATES = 65;
constexpr uint32_t TERMINAL_BASE = 66;  // terminal state = 66 + token kind
constexpr uint32_t KIND_COUNT = 36;
constexpr uint32_t STATE_COUNT = TERMINAL_BASE + KIND_COUNT;
constexpr uint32_t CLASS_MASK = 0xFF;

// Classes the code names.
enum Class : uint8_t {
    C_BLANK = 0, C_LINE_FEED, C_DIGIT, C_ZERO, C_BLOCK_OPEN, C_BLOCK_CLOSE, C_PAREN_OPEN,
    C_PAREN_CLOSE, C_BRACE_OPEN, C_BRACE_CLOSE, C_DOUBLE_QUOTE, C_SHARP, C_APOSTROPHE, C_COLON,
    C_X, C_T, C_H, C_E_LOWER, C_E_UPPER, C_HEX_LOWER, C_HEX_UPPER, C_SLASH, C_BACKSLASH, C_LESS,
    C_GREATER, C_EQUAL, C_PERCENT, C_COMMA, C_SEMICOLON, C_AT, C_DOT, C_DOLLAR, C_PLUS, C_MINUS,
    C_CARET, C_CONTROL, C_HIGH_BYTE, C_WORD_CHAR, C_BAD_BYTE, C_END
};

// Flag bits of the class table entries.
enum Flag : uint32_t {
    F_GREATER = 0x80000, F_PERCENT = 0x40000, F_LESS = 0x100000, F_SIGN = 0x200000,
    F_END = 0x400000, F_SHARP = 0x800000, F_EXPONENT = 0x1000000, F_QUOTE = 0x2000000,
    F_COLON = 0x4000000, F_COMMA = 0x8000000, F_DOT = 0x10000000, F_CARET = 0x20000000,
    F_UTF8_2_3 = 0x40000000, F_UTF8_4 = 0x80000000
};

struct FlagInfo {
    const char* name;
    uint32_t bit;
};
struct KindInfo {
    const char* token;
    const char* scanner;  // the routine's name, "-" for an empty slot
    const char* loader;
    uint8_t event_type;
};
struct EscapeRow {
    uint8_t byte;
    uint8_t code_point;
};
struct EscapeRange {
    uint8_t first, last, subtract;
};
struct EscapeName {
    const char* name;
    uint8_t length;
    uint8_t code_point;
};
struct ConstructInfo {
    const char* name;
    uint8_t length;
    uint8_t type;
    int8_t value;
};
struct EventInfo {
    const char* word;
    uint8_t bit;
    const char* when;
};

extern const uint32_t k_class_table[256];  // class | flags
extern const char* const k_class_names[CLASS_COUNT];
extern const FlagInfo k_flags[14];
extern const uint8_t k_transitions[SCANNING_STATES][CLASS_COUNT];
extern const uint8_t k_state_type[STATE_COUNT];  // datatype id per state, 0 for none
extern const char* const k_state_roles[SCANNING_STATES];
extern const uint8_t k_line_table[CLASS_COUNT];
extern const uint8_t k_path_end[CLASS_COUNT];
extern const uint8_t k_point_text[256];
extern const uint32_t k_delimiters[21];
extern const KindInfo k_kinds[KIND_COUNT];

// The float syntax machine: state 9 is the reject sink.
constexpr uint8_t FLOAT_REJECT = 9;
extern const uint8_t k_float_class[256];
extern const char* const k_float_class_names[6];
extern const uint8_t k_float_next[10][6];
extern const uint8_t k_float_may_end[10];
extern const char* const k_float_state_names[9];

extern const uint8_t k_escapes[256];  // code point of "^" + byte
extern const EscapeRow k_escape_bytes[8];
extern const EscapeRange k_escape_ranges[2];
extern const EscapeName k_escape_names[7];
extern const char* const k_month_names[12];
extern const uint8_t k_month_days[12];
extern const ConstructInfo k_constructs[4];
extern const EventInfo k_events[6];

// Start-skip: only the start state skips the byte that led to it.
inline bool start_skip(uint32_t state) { return state == 0; }

}  // namespace zun::lexer::tables
