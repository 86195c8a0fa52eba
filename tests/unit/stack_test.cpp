#include <gtest/gtest.h>

#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using namespace zun::stack;

namespace {

constexpr uint32_t STACK_CONTEXT_FLAG = 1u << 22;

Cell integer(int32_t n) { return make_cell(TYPE_INTEGER, uint32_t(n)); }
Cell word(uint32_t symbol, NodeId context = 0) { return make_cell(TYPE_WORD, context, symbol, 0); }
void push_int(int32_t n) { *push_cell() = integer(n); }
uint32_t top_index() { return cell_index(g_top); }
uint32_t base_index() { return cell_index(g_base); }

// A function context record: the context! cell, then the owner cell.
NodeId make_context(uint32_t flags = STACK_CONTEXT_FLAG) {
    NodeId node = memory::alloc_cells(2);
    memory::SeriesBuffer* b = memory::buffer_of(node);
    b->head_cell()[0] = make_cell(TYPE_CONTEXT | flags);
    b->head_cell()[1] = make_cell(TYPE_NONE);
    b->tail = b->head + 32;
    return node;
}
uint32_t& values_of(NodeId context) { return memory::buffer_of(context)->head_cell()->data2; }

// Calls a function the way a native does: frame, arguments, values word.
void enter_function(NodeId context, int32_t argument) {
    push_function_frame(nullptr, context);
    push_int(argument);
    values_of(context) = values_word(g_base);
}

struct Caught {
    ErrorId id;
    uint32_t position;  // frame position the error recorded
    Cell arg1;
    uint32_t top;       // before the catcher adjusts
};

// Runs f, which must raise an error that a frame already pushed catches.
template <typename F> Caught catch_error(F f) {
    try {
        f();
    } catch (const Unwind& u) {
        EXPECT_EQ(u.code, Flow::error);
        Caught c{};
        c.top = top_index();
        const Cell* error = top();
        EXPECT_TRUE(error->is(TYPE_ERROR));
        c.id = support::error_id_of(error);
        c.position = error->data3;
        if (error->data2) c.arg1 = memory::buffer_of(error->data2)->cells()[0];
        adjust_after_error();
        return c;
    }
    ADD_FAILURE() << "no error raised";
    return {ErrorId::count_, 0, {}, 0};
}

class Stack : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        cycles::init();
        stack::init();
    }
    void TearDown() override { set_hidden_symbols(0, 0); }
};

TEST_F(Stack, ValueStackEdges) {
    EXPECT_EQ(top(), g_bottom);
    pop(3);
    EXPECT_EQ(g_top, g_bottom);

    push_int(1);
    push_int(2);
    push_int(3);
    set_result_reset(g_top - 1);  // the value lies above the new top
    EXPECT_EQ(top_index(), 1u);
    EXPECT_EQ(g_base->data1, 3u);

    push_int(4);
    adjust_after_error();  // not an error: slot 0 stays
    EXPECT_EQ(g_base->data1, 3u);
    EXPECT_EQ(top_index(), 1u);
    *push_cell() = make_cell(TYPE_ERROR, 7);
    adjust_after_error();
    EXPECT_TRUE(g_base->is(TYPE_ERROR));
    EXPECT_EQ(top_index(), 1u);
}

TEST_F(Stack, ValueStackOverflowLeavesTopFourCellsBelow) {
    push_try_frame(nullptr);
    cycles::push(42);
    Cell* before = nullptr;
    Caught c = catch_error([&] {
        for (;;) {
            before = g_top;
            push_int(1);
        }
    });
    EXPECT_EQ(c.id, ErrorId::internal_stack_overflow);
    EXPECT_EQ(cell_index(before), VALUE_STACK_CELLS - 1);  // 19,999 cells were handed out
    // Four below, then the error as made and as pushed for the catcher.
    EXPECT_EQ(c.top, cell_index(before) - 4 + 2);
    EXPECT_EQ(cycles::depth(), 0);
    EXPECT_EQ(frame_depth(), 0u);
}

TEST_F(Stack, FrameStackOverflowAfterTwelveThousandRecords) {
    push_int(1);
    push_int(2);
    push_int(3);
    push_try_frame(nullptr);
    while (frame_depth() < FRAME_STACK_RECORDS) push_native_frame(nullptr);
    EXPECT_EQ(frame_depth(), FRAME_STACK_RECORDS);
    cycles::push(42);
    Caught c = catch_error([] { push_loop_frame(nullptr); });
    EXPECT_EQ(c.id, ErrorId::internal_stack_overflow);
    EXPECT_EQ(c.position, FRAME_STACK_RECORDS);  // no record was written
    EXPECT_EQ(c.top, 2u);  // backed off to the bottom, not below it
    EXPECT_EQ(cycles::depth(), 0);
    EXPECT_EQ(frame_depth(), 0u);
}

TEST_F(Stack, PushesWriteTheRecord) {
    struct Case {
        void (*push)(const Cell*);
        uint32_t header_byte;
    };
    const Case cases[] = {
        {push_native_frame, 0x02}, {push_try_frame, 0x04},      {push_try_all_frame, 0x05},
        {push_catch_frame, 0x06},  {push_eval_frame, 0x87},     {push_loop_frame, 0x08},
        {push_interp_native_frame, 0x82}, {push_interp_function_frame, 0x81},
    };
    Cell name = word(0x1234567, 9);  // the symbol keeps 24 bits
    for (const Case& c : cases) {
        push_int(0);
        uint32_t caller_base = base_index();
        c.push(&name);
        const CallFrame* record = top_frame();
        EXPECT_EQ(record->header, 0x234567u | (c.header_byte << 24));
        EXPECT_EQ(record->saved_base, caller_base);
        EXPECT_EQ(record->name_context, 9u);
        EXPECT_EQ(g_base, g_top);
    }
    push_frame(nullptr, NATIVE_FRAME);
    EXPECT_EQ(top_frame()->header, uint32_t(NATIVE_FRAME) << 24);
    EXPECT_EQ(top_frame()->name_context, 0u);
}

TEST_F(Stack, PopVariants) {
    struct Case {
        const char* name;
        void (*pop)();
        uint32_t top;
        uint32_t caller_slot0;
        bool restores;
    };
    const Case cases[] = {
        {"pop_frame", pop_frame, 3, 10, false},
        {"pop_function_frame", pop_function_frame, 3, 10, true},
        {"pop_frame_set_result", pop_frame_set_result, 3, 20, false},
        {"pop_function_frame_set_result", pop_function_frame_set_result, 3, 20, true},
        {"pop_frame_reset", pop_frame_reset, 0, 10, false},
        {"pop_function_frame_reset", pop_function_frame_reset, 0, 10, true},
        {"pop_frame_discard", pop_frame_discard, 2, 10, true},  // restores kind 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stack::init();
        NodeId context = make_context();
        values_of(context) = 77;
        push_native_frame(nullptr);  // the caller, based at the bottom
        push_int(10);
        push_int(11);
        enter_function(context, 20);  // slot 0 at cell 2
        push_int(21);
        c.pop();
        EXPECT_EQ(frame_depth(), 1u);
        EXPECT_EQ(g_base, g_bottom);
        EXPECT_EQ(top_index(), c.top);
        EXPECT_EQ(g_base->data1, c.caller_slot0);
        EXPECT_EQ(values_of(context), c.restores ? 77u : 3u);
    }
}

TEST_F(Stack, PopFrameDiscardOfLastFrameResetsToBottom) {
    push_int(1);
    push_int(2);
    push_native_frame(nullptr);
    push_int(3);
    pop_frame_discard();
    EXPECT_EQ(frame_depth(), 0u);
    EXPECT_EQ(g_base, g_bottom);
    EXPECT_EQ(g_top, g_bottom);

    push_int(4);
    pop_frame();  // nothing to pop: harmless
    EXPECT_EQ(top_index(), 1u);
    EXPECT_EQ(frame_depth(), 0u);
}

TEST_F(Stack, RecursionRestoresTheValuesWord) {
    NodeId context = make_context();
    enter_function(context, 1);
    enter_function(context, 2);
    EXPECT_EQ(values_cell(values_of(context))->data1, 2u);
    pop_function_frame();
    EXPECT_EQ(values_cell(values_of(context))->data1, 1u);  // the outer call's argument
    pop_function_frame();
    EXPECT_EQ(values_of(context), 0u);
}

TEST_F(Stack, CompiledFunctionFramePointsContextAtTheArguments) {
    NodeId context = make_context();
    push_native_frame(nullptr);
    push_int(5);
    push_int(6);
    push_compiled_function_frame(nullptr, context);
    EXPECT_EQ(values_cell(values_of(context))->data1, 5u);
    EXPECT_EQ(top_frame()->kind(), uint32_t(NATIVE_FRAME));
    EXPECT_TRUE(top_frame()->body());
    EXPECT_EQ(top_frame()->function_context, 0u);
}

TEST_F(Stack, ErrorUnwindsToTheNearestTryFrame) {
    for (void (*push_catcher)(const Cell*) : {push_try_frame, push_try_all_frame}) {
        stack::init();
        NodeId context = make_context();
        values_of(context) = 5;
        push_try_frame(nullptr);  // outer one, must not be reached
        push_int(0);
        uint32_t catcher_caller_base = base_index();
        push_catcher(nullptr);
        push_int(1);
        push_loop_frame(nullptr);
        enter_function(context, 2);
        push_interp_native_frame(nullptr);
        push_int(3);
        uint32_t top_at_raise = top_index();
        Caught c = catch_error([] { support::fire_error(ErrorId::math_zero_divide); });
        EXPECT_EQ(c.id, ErrorId::math_zero_divide);
        EXPECT_EQ(c.position, 5u);
        EXPECT_EQ(frame_depth(), 1u);
        EXPECT_EQ(base_index(), catcher_caller_base);
        EXPECT_EQ(c.top, top_at_raise + 2);  // unwound values stay below the error
        EXPECT_EQ(top_index(), base_index() + 1);
        EXPECT_TRUE(g_base->is(TYPE_ERROR));
        EXPECT_EQ(values_of(context), 5u);
    }
}

// As do re-raises an error! value it holds.
TEST_F(Stack, ReraiseOnAFullStackStillReachesItsTryFrame) {
    push_try_frame(nullptr);
    push_try_frame(nullptr);
    while (g_end - g_top > 1) push_int(1);  // 19,999 cells in use
    Cell error = make_cell(TYPE_ERROR, uint32_t(ErrorId::math_zero_divide));
    Caught c = catch_error([&] { throw_error(&error); });
    EXPECT_EQ(c.id, ErrorId::math_zero_divide);
    EXPECT_EQ(frame_depth(), 1u);  // the outer try frame was not reached
}

TEST_F(Stack, UncaughtErrorEndsTheProcess) {
    const char* expected = "Zun NoName App\n\\*\\*\\* Math Error: attempt to divide by zero";
    EXPECT_EXIT(support::fire_error(ErrorId::math_zero_divide), ::testing::ExitedWithCode(254),
                expected);
    EXPECT_EXIT(
        {
            push_loop_frame(nullptr);
            push_catch_frame(nullptr);
            push_interp_function_frame(nullptr);
            support::fire_error(ErrorId::math_zero_divide);
        },
        ::testing::ExitedWithCode(254), expected);
}

TEST_F(Stack, BreakAndContinueReachTheLoop) {
    struct Case {
        bool is_continue;
        bool has_value;
        Flow flow;
        bool gets_value;
    };
    const Case cases[] = {
        {false, true, Flow::break_, true},
        {false, false, Flow::break_, false},
        {true, true, Flow::continue_, false},
        {true, false, Flow::continue_, false},
    };
    for (const Case& c : cases) {
        stack::init();
        NodeId context = make_context();
        push_int(0);
        push_loop_frame(nullptr);
        uint32_t loop_base = base_index();
        push_int(1);
        push_try_frame(nullptr);  // a plain try does not stop the search
        enter_function(context, 2);
        push_interp_native_frame(nullptr);
        push_int(42);
        EXPECT_EQ(throw_loop_signal(c.has_value, c.is_continue), c.flow);
        EXPECT_EQ(frame_depth(), 1u);
        EXPECT_EQ(base_index(), loop_base);
        EXPECT_EQ(g_top, g_base);
        if (c.gets_value) EXPECT_EQ(g_base->data1, 42u);
        else EXPECT_TRUE(g_base->is(TYPE_UNSET));
        EXPECT_EQ(values_of(context), 0u);  // the passed function record was restored
    }
}

TEST_F(Stack, ReturnAndExitReachTheBodyFrame) {
    for (bool has_value : {true, false}) {
        stack::init();
        push_interp_function_frame(nullptr);
        set_body_flag(true);
        uint32_t body_base = base_index();
        push_int(1);
        push_eval_frame(nullptr);
        push_loop_frame(nullptr);
        push_interp_native_frame(nullptr);
        push_int(7);
        EXPECT_EQ(throw_return_signal(has_value), has_value ? Flow::return_ : Flow::exit);
        EXPECT_EQ(frame_depth(), 1u);
        EXPECT_EQ(base_index(), body_base);
        EXPECT_EQ(g_top, g_base);
        if (has_value) EXPECT_EQ(g_base->data1, 7u);
        else EXPECT_TRUE(g_base->is(TYPE_UNSET));
    }
}

TEST_F(Stack, ReturnInsideDoLeavesTheCallerOfDo) {
    push_interp_function_frame(nullptr);
    set_body_flag(true);
    push_native_frame(nullptr);  // caller of do, not a body yet
    CallFrame* caller = top_frame();
    push_interp_native_frame(nullptr);  // do
    EXPECT_EQ(set_caller_body_flag(), caller);
    EXPECT_EQ(set_caller_body_flag(), nullptr);  // already set
    push_eval_frame(nullptr);
    push_interp_native_frame(nullptr);  // return
    push_int(3);
    EXPECT_EQ(throw_return_signal(true), Flow::return_);
    EXPECT_EQ(top_frame(), caller);
    clear_body_flag(caller);
    EXPECT_FALSE(caller->body());
}

TEST_F(Stack, ThrowReachesTheCatchFrame) {
    push_catch_frame(nullptr);
    uint32_t catch_base = base_index();
    push_int(1);
    push_try_frame(nullptr);
    push_interp_function_frame(nullptr);
    push_interp_native_frame(nullptr);  // throw
    push_int(5);
    Cell name = word(33);
    push(&name);
    EXPECT_EQ(throw_value(Flow::throw_), Flow::throw_);
    EXPECT_EQ(frame_depth(), 1u);
    EXPECT_EQ(base_index(), catch_base);
    EXPECT_EQ(top_index(), catch_base + 2);
    EXPECT_EQ(g_base[0].data1, 5u);
    EXPECT_EQ(g_base[1].data2, 33u);
}

TEST_F(Stack, ExitsWithoutTargetRaiseThrowErrors) {
    enum Exit { BREAK, CONTINUE, RETURN, EXIT, THROW };
    struct Case {
        const char* what;
        std::vector<uint32_t> frames;
        Exit exit;
        ErrorId id;
        uint32_t depth_after;
    };
    // The last frame is the exit's own; it is never the target.
    const uint32_t body_function = FUNCTION_FRAME | BODY_BYTE;
    const uint32_t native = NATIVE_FRAME | INTERP_BYTE;
    const Case cases[] = {
        {"break outside a loop", {TRY_FRAME, FUNCTION_FRAME, native}, BREAK, ErrorId::throw_break, 0},
        {"break from a loop frame", {TRY_FRAME, LOOP_FRAME}, BREAK, ErrorId::throw_break, 0},
        {"break across try/all", {LOOP_FRAME, TRY_ALL_FRAME, native}, BREAK, ErrorId::throw_break,
         1},
        {"continue outside a loop", {TRY_FRAME, native}, CONTINUE, ErrorId::throw_continue, 0},
        {"continue across try/all", {LOOP_FRAME, TRY_ALL_FRAME, native}, CONTINUE,
         ErrorId::throw_continue, 1},
        {"return outside a body", {TRY_FRAME, LOOP_FRAME, native}, RETURN, ErrorId::throw_return,
         0},
        {"exit across try/all", {body_function, TRY_ALL_FRAME, native}, EXIT,
         ErrorId::throw_return, 1},
        {"throw without catch", {TRY_FRAME, LOOP_FRAME, native}, THROW, ErrorId::throw_throw, 0},
        {"throw across try/all", {CATCH_FRAME, TRY_ALL_FRAME, native}, THROW,
         ErrorId::throw_throw, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        stack::init();
        for (uint32_t byte : c.frames) push_frame(nullptr, byte);
        push_int(9);
        push_int(0);
        uint32_t depth_at_raise = frame_depth();
        Caught caught = catch_error([&] {
            switch (c.exit) {
            case BREAK: (void)throw_loop_signal(true, false); break;
            case CONTINUE: (void)throw_loop_signal(false, true); break;
            case RETURN: (void)throw_return_signal(true); break;
            case EXIT: (void)throw_return_signal(false); break;
            case THROW: (void)throw_value(Flow::throw_); break;
            }
        });
        EXPECT_EQ(caught.id, c.id);
        EXPECT_EQ(caught.position, depth_at_raise);  // raised with the frames intact
        EXPECT_EQ(frame_depth(), c.depth_after);
        if (c.exit == THROW) {
            EXPECT_EQ(caught.arg1.data1, 9u);
        }
    }
}

TEST_F(Stack, UnwindToFrame) {
    struct Case {
        uint32_t kind;
        bool keep;
        uint32_t depth, base, top;
        bool restores;
    };
    // Frames: loop (base 1), try-all (base 3), function (base 4), native (base 5);
    // the innermost call's slot 0 is cell 5.
    const Case cases[] = {
        {LOOP_FRAME, true, 2, 3, 6, true},  // stopped by the try-all frame
        {LOOP_FRAME, false, 2, 1, 6, true},
        {NATIVE_FRAME, true, 4, 5, 6, false},
        {NATIVE_FRAME, false, 4, 4, 6, false},
        {FUNCTION_FRAME, false, 3, 3, 6, false},
    };
    for (const Case& c : cases) {
        stack::init();
        NodeId context = make_context();
        values_of(context) = 77;
        push_int(0);
        push_loop_frame(nullptr);
        push_int(1);
        push_int(2);
        push_try_all_frame(nullptr);
        push_int(3);
        push_function_frame(nullptr, context);
        values_of(context) = values_word(g_base);
        push_int(4);
        push_native_frame(nullptr);
        push_int(5);
        push_int(6);
        unwind_to_frame(c.kind, c.keep);
        EXPECT_EQ(frame_depth(), c.depth);
        EXPECT_EQ(base_index(), c.base);
        EXPECT_EQ(top_index(), c.top);
        EXPECT_EQ(values_of(context) == 77, c.restores);
    }
}

TEST_F(Stack, UnwindToFrameRunningEmptyResetsToBottom) {
    push_int(1);
    push_loop_frame(nullptr);
    push_native_frame(nullptr);
    push_int(2);
    unwind_to_frame(CATCH_FRAME, true);
    EXPECT_EQ(frame_depth(), 0u);
    EXPECT_EQ(g_base, g_bottom);
    EXPECT_EQ(g_top, g_bottom);
}

TEST_F(Stack, UnwindToFrameSetResult) {
    push_int(0);
    push_loop_frame(nullptr);
    uint32_t loop_base = base_index();
    push_int(1);
    push_native_frame(nullptr);
    push_native_frame(nullptr);
    push_int(33);
    unwind_to_loop(true);
    EXPECT_EQ(top_index(), loop_base + 2);  // the innermost result stays above
    stack::init();

    push_int(0);
    push_loop_frame(nullptr);
    push_int(1);
    push_native_frame(nullptr);
    push_native_frame(nullptr);
    push_int(33);
    unwind_to_frame_set_result(LOOP_FRAME);
    EXPECT_EQ(frame_depth(), 1u);
    EXPECT_EQ(base_index(), loop_base);
    EXPECT_EQ(g_top, g_base);
    EXPECT_EQ(g_base->data1, 33u);
}

TEST_F(Stack, CurrentCalleeWord) {
    set_hidden_symbols(100, 101);
    EXPECT_EQ(current_callee_word().data2, 0u);  // no frame: the not-found word

    Cell caller = word(5, 7);
    Cell throw_word = word(8, 7);
    Cell body = word(100);
    Cell anon = word(101);
    push_native_frame(&caller);
    push_interp_function_frame(&body);
    push_eval_frame(&anon);
    Cell found = current_callee_word();
    EXPECT_EQ(found.type(), uint32_t(TYPE_WORD));
    EXPECT_EQ(found.data1, 7u);
    EXPECT_EQ(found.data2, 5u);

    push_native_frame(&throw_word);
    save_error_frame_position();
    push_native_frame(nullptr);
    save_error_frame_position();  // one is pending: kept
    EXPECT_EQ(current_callee_word().data2, 5u);  // names the caller of throw
    EXPECT_EQ(current_callee_word().data2, 0u);  // consumed: the unnamed innermost frame
}

TEST_F(Stack, FrameFlagLookups) {
    push_interp_native_frame(nullptr);
    push_native_frame(nullptr);
    push_native_frame(nullptr);
    EXPECT_FALSE(interpreted_frame(nullptr, true));
    EXPECT_TRUE(interpreted_frame(nullptr, false));
    EXPECT_TRUE(interpreted_frame(g_frame_bottom + 1, true));
    set_top_frame_interpreted();
    EXPECT_TRUE(interpreted_frame(nullptr, true));
    set_body_flag(true);
    EXPECT_TRUE(top_frame()->body());
    set_body_flag(false);
    EXPECT_FALSE(top_frame()->body());
}

std::vector<NodeId> g_marked_contexts;
std::vector<NodeId> g_marked_blocks;

TEST_F(Stack, MarkForCollector) {
    NodeId on_stack = make_context();
    NodeId own_values = make_context(0);
    values_of(on_stack) = 3;
    values_of(own_values) = 55;
    Cell named = word(1, 11);
    Cell named2 = word(2, 12);
    push_native_frame(&named);
    push_function_frame(nullptr, on_stack);
    push_native_frame(nullptr);
    push_function_frame(&named2, own_values);
    g_marked_contexts.clear();
    g_marked_blocks.clear();
    mark_for_collector([](NodeId n) { g_marked_contexts.push_back(n); },
                       [](NodeId n) { g_marked_blocks.push_back(n); });
    EXPECT_EQ(g_marked_contexts, (std::vector<NodeId>{11, on_stack, 12, own_values}));
    EXPECT_EQ(g_marked_blocks, (std::vector<NodeId>{55}));
}

}  // namespace
