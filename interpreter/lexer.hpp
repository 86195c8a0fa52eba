// The lexer: script text (UTF-8) to values. A table-driven state machine finds
// the end of each token; per token kind a scanner checks structure and a
// loader builds the value in a shared token buffer, where nested blocks,
// parens, maps and paths are built on one flat stack of cells with marker
// cells. A user callback can watch and steer the scan through six events.
//
// The text handed to the scan must not lie inside a series buffer (the
// collector may move those while values are made): string! and binary! input
// is first copied to the lexer's scratch buffer.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::lexer {

// Event bits of the callback's event mask.
enum Event : uint32_t {
    EVENT_PRESCAN = 1, EVENT_SCAN = 2, EVENT_LOAD = 4, EVENT_OPEN = 8, EVENT_CLOSE = 16,
    EVENT_ERROR = 32, ALL_EVENTS = 63
};

constexpr uint32_t TOKEN_BUFFER_CELLS = 1000;
constexpr uint32_t SCRATCH_BYTES = 100000;

// Start-up: the token buffer, the scratch buffer and the delimiter set. Later
// calls start over with empty buffers (the unit tests make a runtime per test).
void init();

struct Options {
    bool one_value = false;   // stop after the first complete top-level value
    bool load = true;         // build values; clear: only classify tokens
    bool produce = true;      // store a result in the output cell
    bool keep_block = false;  // with one_value: still answer a block
    const Cell* callback = nullptr;  // function! or routine! called per event
    const Cell* input = nullptr;     // the string! or binary! the callback sees
    const Cell* target = nullptr;    // a block! the values are appended to
};

// Scans length bytes of UTF-8. The output cell (not inside a series buffer)
// gets the single value (one_value, keep_block clear, a value scanned) or a
// block of every value. *consumed: the bytes scanned (characters for a
// string! input). Answers the type id of the last token scanned (error! when
// a scan that builds no values fails).
int32_t transcode(Cell* out, const uint8_t* text, uint32_t length, const Options& options,
                  uint32_t* consumed);
// The scans made since the process started (every entry point counts once).
uint32_t scan_count();
// From the string's head plus start characters, length characters or with -1
// to its tail, converted to UTF-8 first; *consumed counts characters.
int32_t load_string(Cell* out, const Cell* str, int32_t start, int32_t length,
                    const Options& options, uint32_t* consumed);
// From the binary's head, length bytes or with -1 to its tail.
int32_t load_binary(Cell* out, const Cell* bin, int32_t length, const Options& options,
                    uint32_t* consumed);

// What the transcode native hands over: its refinements, nullptr when absent.
struct Refinements {
    bool next = false;
    bool one = false;
    bool prescan = false;
    bool scan = false;
    const Cell* part = nullptr;   // integer!, or a position in the source
    const Cell* into = nullptr;   // block!
    const Cell* trace = nullptr;  // function! or routine!
};
// The transcode native's work: src is a string! or binary!; the answer goes
// to *result (which may be the source's own cell).
void transcode(Cell* result, const Cell* src, const Refinements& refinements);

// Number scanners the datatypes use to convert text of 1-, 2- or 4-byte units.
enum ScanStatus : int32_t { SCAN_OK = 0, SCAN_BAD = -1, SCAN_OVERFLOW = -2 };
ScanStatus scan_integer(const uint8_t* text, int32_t length, uint32_t unit, int32_t* value);
// Commas count as decimal points; NaN goes to *value on failure.
ScanStatus scan_float(const uint8_t* text, int32_t length, uint32_t unit, double* value);
// Text of a money! value (currency prefix, digits) into *value.
ScanStatus scan_money(const uint8_t* text, int32_t length, uint32_t unit, Cell* value);
// Components 0-255 separated by "."; answers their count (0 when invalid).
int32_t scan_tuple(const uint8_t* text, int32_t length, uint32_t unit, uint8_t bytes[12]);

// The callback path. The evaluator installs a hook that calls the callback
// (function! or routine!, with its refinement count) on the five event
// arguments args[0..4], which lie on the value stack, and writes the answer
// to *result. Before returning it copies the input argument's final value
// back into args[1]: a callback that moves the input's index moves the scan.
// A break, return or throw status is raised as an Unwind at this boundary.
using CallbackHook = void (*)(const Cell* callback, Cell* args, uint32_t refinement_count,
                              Cell* result);
void set_callback_hook(CallbackHook hook);
uint32_t event_mask_from_words(const Cell* callback);
// A cell (outside any series buffer) holding the block of token names that
// the callback gets as the type of tokens without a datatype; nullptr: none.
void set_token_names(const Cell* names);

// Collector roots: every scan's cells, input and callback.
using MarkCellsFn = void (*)(Cell* first, Cell* end);
void mark_for_collector(MarkCellsFn mark_cells);

// Cells of the token buffer in use (for tests: every scan gives its cells back).
uint32_t token_cells_in_use();

}  // namespace zun::lexer
