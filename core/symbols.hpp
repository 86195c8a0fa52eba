// The symbol table, the keep-alive root block and the words the runtime makes
// once at start-up and uses by reference.
//
// A symbol is one written form of a name; its id is the 1-based position of its
// symbol! cell in the symbol series. Forms that differ only in letter case get
// their own symbols, the later ones naming the first as their alias, so words
// compare without regard to case but keep their spelling.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/cell.hpp"

namespace zun::symbols {

constexpr uint32_t START_SYMBOLS = 4000;
constexpr uint32_t GLOBAL_WORDS = 4000;
constexpr uint32_t ROOT_BLOCK_CELLS = 9784;

// Start-up: the root block, the symbol series, the global context, the symbol
// table, then the type words, the runtime words, the refinement words and #ooo.
// Sets the keep-words flag; start-up clears it once its words are made.
void init();
// Counts the runs of init: caches of symbols made in an earlier runtime
// (unit tests make it again) compare it.
uint32_t generation();
// True once init has run on the current memory manager.
bool ready();

// The block whose cells are collector roots for the whole run. Its buffer lies
// outside the memory frames and has room for every cell start-up appends, so
// the addresses of those cells stay good.
Cell* root_block();

// While set, every word made by word::make_global gets a stable copy in the
// root block and the copy is what the maker answers.
void set_keep_words(bool on);
bool keep_words();

// Keeps a value reachable across the allocations that follow: a value-stack
// cell (a static spare before the stack exists, when the collector is off).
// release drops the held cell and everything pushed above it.
Cell* hold(const Cell& value);
void release(Cell* held);

NodeId series();  // the symbol series
NodeId table();   // the symbol hash table
uint32_t count(); // symbols interned so far

}  // namespace zun::symbols

namespace zun::symbol {

constexpr uint32_t NO_ALIAS = 0xFFFFFFFF;

// Find or intern a name (exact written form first; a new form that matches a
// known one without regard to case records it as its alias).
// The name must not lie inside a series buffer: interning allocates.
uint32_t make(const char* name);
uint32_t make_from_buffer(const char* name, size_t length);
// As make, but a case variant already interned is answered instead.
uint32_t find_any_case(const char* name);
// The symbol of a string's text from its head.
uint32_t from_string(const Cell* str);

// The symbol! cell of the id, its string! form made when missing; good until the
// next allocation.
Cell* get_record(uint32_t id);
void cache_string(uint32_t id);
uint32_t alias(uint32_t id);
// The written form as UTF-8; good until the next allocation.
std::string_view name(uint32_t id);

int compare(Cell* value1, Cell* value2, int op);
// Orders the names of two symbols as strings under a comparison operation.
int compare_names(uint32_t id1, uint32_t id2, int op);

}  // namespace zun::symbol

// Symbols of the fixed runtime names, interned in this order at start-up:
// sym::id(sym::self) is the symbol of "self". A name the list holds twice has a
// second entry with a trailing 2 (same id).
namespace zun::sym {
enum Name : uint16_t {
    spec, body, words, class_, logic_type, integer_type, char_type, float_type,
    percent_type, any_type_type, exit_, return_, Windows, Syllable, macOS, Linux, NetBSD,
    repeat, foreach, map_each, remove_each, any, break_, copy, end, fail, into, opt, not_,
    quote, case_, reject, set, skip, some, thru, to, none, bar, minus, if_, remove_,
    while_, insert, only, collect, keep, pick, ahead, after, x, y, z, self, values, owner,
    owned, events_q, true_, false_, yes, no, on, off, type, face, window, offset, key, flag,
    code, picked, flags, away_q, ctrl_q, shift_q, down_q, mid_down_q, alt_down_q,
    aux_down_q, orientation, get, put, post, head, size, rgb, alpha, argb, date, year,
    month, day, zone, isoweek, week, weekday, yearday, julian, time_, hour, minute, second,
    timezone, code2, amount, user, host, system_, system_global, stack, trace, no_trace,
    COUNT
};
static_assert(COUNT == 113);
extern uint32_t g_ids[COUNT];
inline uint32_t id(Name n) { return g_ids[n]; }
}  // namespace zun::sym

// Global word! values the change notification, the tracer, the callbacks and
// the error maker pass as arguments: words::get(words::on_change_star).
namespace zun::words {
enum Name : uint16_t {
    at, back, find, head, head_q, index_q, length_q, next, pick, skip, select, tail, tail_q,
    change, changed, clear, cleared, set_path, append, appended, move, moved, poke, poked,
    put, put_ed, removed, random_, randomized, reverse, reversed, sort, sorted, swap,
    swaped, take, taken, trim, trimmed, inserted, uppercase, lowercase, checksum, push, pop,
    fetch, match, iterate, paren, anon, body, not_found, add, subtract, divide,
    on_parse_event, on_change_star, on_deep_change_star, type, id, try_, catch_, name,
    multiply, browse, open_, create, close_, delete_, modify, query, read_, rename_, update,
    write_, prescan, scan, load, error, comment, init, exec, call, return_, enter, exit_,
    prolog, epilog, throw_, expr, interp_callback, lexer_callback, parse_callback,
    compare_callback, throw2, note, syntax, script, math, access, user, internal,
    invalid_error, local, applied,
    COUNT
};
extern Cell g_cells[COUNT];
inline Cell* get(Name n) { return &g_cells[n]; }
// The runtime words hold no insert: an unbound word of its symbol stands in.
const Cell* insert();
}  // namespace zun::words

// Unbound refinement! values of the argument-handling code.
namespace zun::refinements {
enum Name : uint8_t { local, extern_, compare, part, skip, with, COUNT };
extern Cell g_cells[COUNT];
inline Cell* get(Name n) { return &g_cells[n]; }
}  // namespace zun::refinements

namespace zun::interpreter {
void init_runtime_words();
void init_refinement_words();
}  // namespace zun::interpreter

namespace zun::support {
void make_ooo_issue();
const Cell* ooo_issue();  // the issue! #ooo
void make_type_words();
}  // namespace zun::support
