// The natives: built-in functions that are not polymorphic actions. Each has
// the calling convention of natives::Entry (interpreter/native_table.hpp).
#pragma once
#include <cstdint>

#include "interpreter/stack.hpp"

namespace zun::natives {

// The entry of every native whose code is not written yet: raises internal
// not-done.
Flow not_done(int check, const int32_t* refinements);

// Identity, truth and type; memory figures; binding.
bool same_values_q(Cell* value1, Cell* value2);
Flow same_q(int check, const int32_t* refinements);
Flow not_(int check, const int32_t* refinements);
Flow type_q(int check, const int32_t* refinements);
Flow stats(int check, const int32_t* refinements);
Flow bind(int check, const int32_t* refinements);
Flow in_(int check, const int32_t* refinements);

// System natives.
Flow recycle(int check, const int32_t* refinements);
Flow transcode(int check, const int32_t* refinements);
Flow now(int check, const int32_t* refinements);  // natives_time.cpp
Flow as_money(int check, const int32_t* refinements);  // natives_money.cpp
Flow as_pair(int check, const int32_t* refinements);   // natives_coerce.cpp
Flow as_point2D(int check, const int32_t* refinements);
Flow as_point3D(int check, const int32_t* refinements);
// natives_services.cpp
Flow wait(int check, const int32_t* refinements);
Flow checksum(int check, const int32_t* refinements);  // /with
Flow set_env(int check, const int32_t* refinements);
Flow get_env(int check, const int32_t* refinements);
Flow list_env(int check, const int32_t* refinements);
Flow call(int check, const int32_t* refinements);  // /wait /show /console /shell /input /output /error
Flow browse(int check, const int32_t* refinements);
Flow compress(int check, const int32_t* refinements);    // /level
Flow decompress(int check, const int32_t* refinements);  // /size
Flow apply(int check, const int32_t* refinements);       // /all /safer

// URL escapes and local file names (natives_files.cpp).
Flow dehex(int check, const int32_t* refinements);
Flow enhex(int check, const int32_t* refinements);
Flow to_local_file(int check, const int32_t* refinements);  // /full

// Base-2/16/58/64 text and bytes (natives_encoding.cpp); /base.
Flow enbase(int check, const int32_t* refinements);
Flow debase(int check, const int32_t* refinements);

// Conditional and selection natives (natives_control.cpp).
Flow if_(int check, const int32_t* refinements);
Flow unless(int check, const int32_t* refinements);
Flow either(int check, const int32_t* refinements);
Flow any(int check, const int32_t* refinements);
Flow all(int check, const int32_t* refinements);
Flow switch_(int check, const int32_t* refinements);  // /default
Flow case_(int check, const int32_t* refinements);    // /all

// Loop natives (natives_loop.cpp). Each runs its body in a loop frame named
// <body>, where break and continue land.
Flow while_(int check, const int32_t* refinements);
Flow until(int check, const int32_t* refinements);
Flow loop(int check, const int32_t* refinements);
Flow repeat(int check, const int32_t* refinements);
Flow forever(int check, const int32_t* refinements);
Flow foreach(int check, const int32_t* refinements);
Flow forall(int check, const int32_t* refinements);
Flow remove_each(int check, const int32_t* refinements);

// Iteration steps. Inside a loop frame whose base is the arguments base, the
// loop word (or word block) lies at base - 1, the series cell at base - 2 and,
// for remove-each, the word count (integer!) at base - 3. The steps that set
// words may run an object's on-change* handler, which may raise a PendingFlow.
// A float! count becomes an integer! in its own cell, truncated toward zero.
int32_t count_to_integer(Cell* count);
bool series_has_more_q(const Cell* series);
// One foreach step with n words: sets them from the items at the series
// cell's position and moves it past them; false when no item is left.
bool foreach_next(int32_t n);
bool foreach_next_word();  // the same for a single word
// After a remove-each body: a true value in slot 0 removes the n items just set.
void remove_each_next(int32_t n);
// Word i (from 1) of the words block takes item i of a block-like or map!
// source (none! past its end), or the source itself when it is no series or
// with `only`. Without `any` an unset! value raises script need-value; with
// `some` a none! value leaves its word alone. Used by foreach and set.
void set_words_from_block(const Cell* words, const Cell* source, int32_t n, bool any, bool only,
                          bool some);
// Word i takes item i of a string, binary or vector (pick; none! past its end).
void set_words_from_string(const Cell* words, const Cell* series, int32_t n);
// Compiled forall: moves the word's series by one with `advance`; true at its
// end. set_word puts the series cell back into the word; sync_index copies the
// word's series index into the series cell.
bool forall_next(bool advance);
void forall_set_word();
void forall_sync_index();
// Compiled repeat: adds 1 to the integer the word holds (an object's word is
// stored again so its change handling runs).
void repeat_step(Cell* word);

// Error and control-transfer natives (natives_error.cpp).
Flow try_(int check, const int32_t* refinements);    // /all /keep
Flow catch_(int check, const int32_t* refinements);  // /name
Flow break_(int check, const int32_t* refinements);  // /return
Flow continue_(int check, const int32_t* refinements);
Flow exit_(int check, const int32_t* refinements);
Flow return_(int check, const int32_t* refinements);
Flow throw_(int check, const int32_t* refinements);  // /name
// Compiled code whose own catch point took an error (on top of the stack):
// makes it slot 0, with its call trace when `keep`; a throw that found no
// catch is raised again instead.
void try_error_result(bool keep);

// Function-making, word and evaluation natives (natives_func.cpp). The
// function native is function_: natives::function would hide the function!
// datatype's namespace.
Flow func(int check, const int32_t* refinements);
Flow function_(int check, const int32_t* refinements);  // /extern (read from the spec)
Flow does(int check, const int32_t* refinements);
Flow has(int check, const int32_t* refinements);
Flow do_(int check, const int32_t* refinements);  // /expand /args /next /trace
Flow get(int check, const int32_t* refinements);  // /any /case
Flow set(int check, const int32_t* refinements);  // /any /case /only /some

// Output and comparison natives (natives_output.cpp). The comparison natives
// leave a logic! in slot 0; an ordering of values that cannot be compared
// raises script invalid-compare.
Flow print(int check, const int32_t* refinements);
Flow prin(int check, const int32_t* refinements);
// Prints argument 0 of the current call: a block reduced and formed, a string!
// as it stands, any other value formed; line_end 1 adds a line end. Result
// unset!.
Flow print_value(int check, int line_end);
// The line-end flag of the most recent print or prin.
int last_line_end();
Flow equal_q(int check, const int32_t* refinements);
Flow not_equal_q(int check, const int32_t* refinements);
Flow strict_equal_q(int check, const int32_t* refinements);
Flow lesser_q(int check, const int32_t* refinements);
Flow greater_q(int check, const int32_t* refinements);
Flow lesser_or_equal_q(int check, const int32_t* refinements);
Flow greater_or_equal_q(int check, const int32_t* refinements);

// Set-operation natives and parse (natives_sets.cpp). The set natives take
// /case and /skip size; parse takes /case, /part length and /trace callback.
Flow parse(int check, const int32_t* refinements);
Flow union_(int check, const int32_t* refinements);
Flow intersect(int check, const int32_t* refinements);
Flow unique(int check, const int32_t* refinements);
Flow difference(int check, const int32_t* refinements);
Flow exclude(int check, const int32_t* refinements);
Flow complement_q(int check, const int32_t* refinements);

// Evaluation natives (natives_eval.cpp).
Flow reduce(int check, const int32_t* refinements);   // /into
Flow compose(int check, const int32_t* refinements);  // /deep /only /into
// Reduces a block! into the target (any block type): appended when the target
// is at its tail, else inserted before its position, which moves past each
// value. Slot 0 becomes the target at its final position.
[[nodiscard]] Flow reduce_into(const Cell* block, const Cell* target);
// Reduces a block! into a new block made at the count of its values; slot 0
// becomes that block.
[[nodiscard]] Flow reduce_new(const Cell* block);
// compose's core: the block's cells, its parens evaluated, into the target or,
// when it is nullptr, a new block; pushes the block that received them.
[[nodiscard]] Flow compose_block(const Cell* block, bool deep, bool only, const Cell* target);

// Numeric natives (natives_numeric.cpp).
Flow negative_q(int check, const int32_t* refinements);
Flow positive_q(int check, const int32_t* refinements);
Flow sign_q(int check, const int32_t* refinements);
Flow zero_q(int check, const int32_t* refinements);
Flow nan_q(int check, const int32_t* refinements);
Flow max_(int check, const int32_t* refinements);
Flow min_(int check, const int32_t* refinements);
Flow shift(int check, const int32_t* refinements);   // /left /logical
Flow to_hex(int check, const int32_t* refinements);  // /size
Flow sine(int check, const int32_t* refinements);    // each trig native: /radians
Flow cosine(int check, const int32_t* refinements);
Flow tangent(int check, const int32_t* refinements);
Flow arcsine(int check, const int32_t* refinements);
Flow arccosine(int check, const int32_t* refinements);
Flow arctangent(int check, const int32_t* refinements);
Flow arctangent2(int check, const int32_t* refinements);
Flow log_2(int check, const int32_t* refinements);
Flow log_10(int check, const int32_t* refinements);
Flow log_e(int check, const int32_t* refinements);
Flow exp_(int check, const int32_t* refinements);
Flow square_root(int check, const int32_t* refinements);
Flow size_q(int check, const int32_t* refinements);

// Word, object, value, case and coercion natives (natives_values.cpp).
Flow construct(int check, const int32_t* refinements);  // /with /only
Flow value_q(int check, const int32_t* refinements);
Flow extend(int check, const int32_t* refinements);  // /case
Flow unset(int check, const int32_t* refinements);
Flow new_line(int check, const int32_t* refinements);  // /all /skip
Flow new_line_q(int check, const int32_t* refinements);
Flow context_q(int check, const int32_t* refinements);
Flow uppercase(int check, const int32_t* refinements);  // /part
Flow lowercase(int check, const int32_t* refinements);  // /part
Flow as(int check, const int32_t* refinements);

}  // namespace zun::natives
