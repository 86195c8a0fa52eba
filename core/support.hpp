// Runtime support routines: cell copy and retype, tail appends, boot literals,
// raising errors, the float-to-integer check and the cycle-detection stack.
#pragma once
#include <cstdint>
#include <new>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun {

// Every error id of the catalogue, in catalogue order: ErrorId::script_expect_arg ...
enum class ErrorId : uint16_t {
#define ZUN_ERROR(sym, code, cat, cat_name, id_name, message) sym,
#include "error_catalog.inc"
#undef ZUN_ERROR
    count_
};

struct ErrorInfo {
    uint16_t code;           // 100 x category + id index
    uint8_t category;        // 0 throw ... 9 internal
    const char* category_name;
    const char* id_name;
    const char* message;     // the template as the catalogue writes it
};
const ErrorInfo& error_info(ErrorId id);
const char* error_category_title(uint8_t category);  // "Script Error" ...

}  // namespace zun

namespace zun::support {

inline Cell* set_type(Cell* cell, uint32_t type) {
    cell->set_type(type);
    return cell;
}
inline void clear_new_line(Cell* cell) { cell->header &= ~NEW_LINE_FLAG; }
inline Cell* copy_cell(const Cell* src, Cell* dst) {
    if (src != dst) *dst = *src;
    return dst;
}

// A fresh unset! cell at the tail of a block (the buffer doubles when full).
// The pointer is good until the next allocation.
Cell* alloc_tail_cell(NodeId block_node);
Cell* append_cell(const Cell* block);
// Advances the tail by n bytes and answers the old tail (good until the next
// allocation).
uint8_t* reserve_bytes(NodeId node, uint32_t n);
uint8_t* replicate_bytes(uint8_t* start, int32_t n, int32_t count);

// Boot literals: cells of the block the boot data decodes into.
void set_boot_literals(NodeId block, uint32_t first_index);
Cell* boot_literal(uint32_t i);
uint32_t boot_literal_ref(uint32_t i);

// Makes the error value and throws it to the nearest try frame; never returns.
[[noreturn]] void fire_error(ErrorId id, const Cell* arg1 = nullptr,
                             const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);
[[noreturn]] void fire_make_error(const Cell* type, const Cell* spec);
// Runs work whose C++ allocations grow with the input (process output, file
// contents, decoded data); a failed allocation raises internal no-memory as
// the series allocators do.
template <class Work>
decltype(auto) no_memory_guard(Work&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        fire_error(ErrorId::internal_no_memory);
    }
}
inline Cell datatype_cell(uint32_t type) { return make_cell(TYPE_DATATYPE, type); }
// script invalid-type naming the datatype.
[[noreturn]] void fire_invalid_type(uint32_t type);
// script bad-to-arg: the target datatype and the value.
[[noreturn]] void fire_bad_to(uint32_t type, const Cell* spec);

// The error! datatype installs the real maker and former; until then errors are
// cells of type error! with the id in word 1 and a block of the arguments in
// word 2 (word 3 keeps the frame position of the raise).
using ErrorMaker = void (*)(Cell* result, ErrorId id, const Cell* arg1, const Cell* arg2,
                            const Cell* arg3);
using ErrorFormer = void (*)(const Cell* error, char* out, size_t size);
void set_error_maker(ErrorMaker maker);
// Told of every error fire_error raises, after it is pushed (the evaluation
// tracer); nullptr: nobody.
using ErrorTracer = void (*)(const Cell* error);
void set_error_tracer(ErrorTracer tracer);

// The value a text scans to, in a new cell on the value stack (none! for
// blank text or text that holds more than one value). make and to from text
// of the scalar types go through it.
Cell* scan_one_value(const Cell* text);
// The value of the text when it is one value of the type, else script
// bad-to-arg with the type and the text.
Cell* scan_value_of_type(const Cell* text, uint32_t type);
void set_error_former(ErrorFormer former);
void make_error(Cell* result, ErrorId id, const Cell* arg1 = nullptr,
                const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);
// The text the top-level handler shows for an error.
void form_error(const Cell* error, char* out, size_t size);
// The id of an error value made by the interim maker.
ErrorId error_id_of(const Cell* error);

// Integer value of an integer!, or a float! truncated toward zero when it fits.
int32_t to_int_checked(const Cell* value);

// Appends four spaces per level to a string; answers limit - 4 x level.
int mold_indent(Cell* buffer, int level, int limit);

}  // namespace zun::support

// The cycle-detection stack that walks of nested values share.
namespace zun::cycles {
constexpr int CAPACITY = 1000;
void init();
void push(NodeId node);  // internal too-deep (after emptying) when full
void pop();
void drop(int n);
void reset();
bool find(NodeId node);
int depth();

// Keeps a node on the cycle stack for the scope of a walk.
class Guard {
public:
    explicit Guard(NodeId node) { push(node); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    ~Guard() { pop(); }
};
}  // namespace zun::cycles

namespace zun::interpreter {
// When the value is already being walked, appends its cycle marker ("[...]",
// "..." ...) to the buffer, lowers *limit by its length and answers true.
bool mold_cycle_marker(const Cell* value, Cell* buffer, int* limit, bool mold);
}  // namespace zun::interpreter

// ---------------------------------------------------------------------------
// Words and context fields, as compiled code reads and sets them
// (core/support_words.cpp). The value to store is the last value on the stack.
namespace zun::support {
// script need-value when the value is unset!; the stack is left as it is.
void set_word(Cell* word);
void set_word_reset(Cell* word);  // then top = arguments base
Cell* set_context_field(NodeId context, uint32_t i);
Cell* set_context_field_reset(NodeId context, uint32_t i);
// unset! accepted; an object's word gets its changed mark; top = arguments base.
void set_object_field(NodeId context, uint32_t i);
Cell* get_word(const Cell* word);  // script no-value when unset!
Cell* context_field(NodeId context, uint32_t i);
// True: the slot at base + i gets word 1 = 1; else the count cells after it
// become none!.
void set_refinement(const Cell* refinement, uint32_t i, uint32_t count);
// Word i of a context's word block (good until the next allocation).
Cell* context_word(const Cell* context_cell, uint32_t i);
memory::SeriesBuffer* context_words_buffer(const Cell* context_cell);
NodeId context_words_node(const Cell* context_cell);
}  // namespace zun::support

// ---------------------------------------------------------------------------
// Routines that need the evaluator (core/support_eval.cpp).
#include "interpreter/stack.hpp"

namespace zun::support {

// A path walked from its elements: items[0] the head element (a word stands
// for its value), then the others. Setting assigns slot 0 of the current
// frame. The final value goes into slot 0.
void eval_path(bool set, const Cell* path, const Cell* items, uint32_t count);

// switch and select: key at the arguments base, block in the next cell. The
// value after the first element equal to the key (of the key's type), or with
// block_flag the first block! after it; none! when nothing matches. One step
// pushes the value and looks at every element; else it goes into slot 0 and
// every second element is looked at.
void switch_lookup(bool one_step, bool block_flag);

// Argument checks of compiled functions: script expect-arg naming the callee,
// the argument's datatype and parameter n of its spec (from 0).
Cell* check_arg_type(const Cell* typeset, int32_t parameter, Cell* argument);
int32_t check_stack_arg_type(int32_t i, const Cell* typeset, int32_t parameter);  // i < 0: absent
Cell* check_opt_arg_type(const Cell* refinement, const Cell* typeset, int32_t parameter,
                         Cell* argument);
Cell* reject_unset_arg(int32_t parameter, Cell* argument);

// One refinement of a call_with_refinements: when the value is true its slot
// (1-based) gets the index of its first argument cell; when false its count
// argument cells from that index become none!.
struct RefinementGroup {
    const Cell* value;
    uint32_t slot;
    uint32_t first;
    uint32_t count;
};
// Calls native or action `index` (1-based) on the arguments in place; a native
// gets the check flag 1.
[[nodiscard]] Flow call_with_refinements(uint32_t index, bool native, uint32_t slot_count,
                                         const RefinementGroup* groups, uint32_t group_count);

}  // namespace zun::support
