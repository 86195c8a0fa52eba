#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using test_support::error_arg;
using test_support::raised;

namespace {

Cell w(const char* name, uint32_t type = TYPE_WORD) {
    Cell c = *word::make_global(name);
    c.set_type(type);
    return c;
}
Cell lit(const char* name) { return w(name, TYPE_LIT_WORD); }
Cell get(const char* name) { return w(name, TYPE_GET_WORD); }
Cell ref(const char* name) { return w(name, TYPE_REFINEMENT); }
Cell set(const char* name) { return w(name, TYPE_SET_WORD); }
Cell str(const char* text) { return *string::load_c_text(text, uint32_t(std::strlen(text)), 0); }

// A block of the cells, kept on the value stack.
Cell blk(std::initializer_list<Cell> cells) {
    Cell b{TYPE_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0};
    for (const Cell& c : cells) *support::append_cell(&b) = c;
    return *stack::push(&b);
}

std::string mold(Cell v, bool only = false) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    actions::mold_direct(&v, buffer, only, false, false, nullptr, 10000, 0);
    return test_support::bytes_of(buffer);
}

std::string form(Cell v) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    actions::form_direct(&v, buffer, nullptr, 10000);
    return test_support::bytes_of(buffer);
}

// The error validating the spec raises.
ErrorId spec_error(const Cell& spec, Cell* error = nullptr) {
    return raised([&] { function::validate_spec(&spec); }, error);
}

Cell paren(std::initializer_list<Cell> cells) {
    Cell p = blk(cells);
    p.set_type(TYPE_PAREN);
    return p;
}

std::vector<std::string> context_names(NodeId ctx) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < context::word_count(ctx); i++)
        out.emplace_back(symbol::name(word::context_word_at(ctx, i)->data2));
    return out;
}

class Function : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        stack::push_native_frame(nullptr);
        for (uint32_t t : {TYPE_INTEGER, TYPE_BLOCK}) {
            Cell name = *registry::g_name_table[t].word;
            Cell type = make_cell(TYPE_DATATYPE, t);
            word::set_value(&name, &type);
        }
    }
    Cell make_function(Cell spec, Cell body) {
        Cell proto = make_cell(TYPE_DATATYPE, TYPE_FUNCTION);
        Cell arg = blk({spec, body});
        return *registry::handler<A_MAKE>(TYPE_FUNCTION)(&proto, &arg, TYPE_FUNCTION);
    }
    Cell reflect(Cell value, sym::Name field) {
        Cell* slot = stack::push(&value);
        registry::handler<A_REFLECT>(value.type())(slot, sym::id(field));
        return *slot;
    }
};

// ---------------------------------------------------------------- spec checks

TEST_F(Function, FullSpecGivesItsContextWords) {
    Cell spec = blk({str("doc"), w("a"), blk({w("integer!")}), str("a doc"), lit("b"),
                     blk({w("block!"), w("integer!")}), ref("only"), get("c"), set("return"),
                     blk({w("integer!")}), ref("local"), w("x"), blk({w("integer!")})});
    EXPECT_EQ(function::validate_spec(&spec), 0u);
    Cell f = make_function(spec, blk({w("a")}));
    EXPECT_EQ(context_names(f.data1),
              (std::vector<std::string>{"a", "b", "only", "c", "local", "x"}));
    const Cell* ctx = context::cell_of(f.data1);
    EXPECT_TRUE(ctx->header & context::STACK_FLAG);
    EXPECT_EQ(context::kind_of(ctx), uint32_t(context::FUNCTION_KIND));
    EXPECT_EQ(ctx->data2, 0u);  // no call running
}

TEST_F(Function, AttributeBlockGivesTraceFlags) {
    const struct {
        Cell attributes;
        int32_t flags;
    } cases[] = {
        {blk({w("trace")}), 0x400},
        {blk({w("no-trace")}), 0x200},
        {blk({w("catch"), w("trace"), w("no-trace")}), 0x600},
        {blk({}), 0},
        {blk({w("trace"), str("x")}), -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(function::parse_attributes(&c.attributes), c.flags);
        Cell spec = blk({c.attributes, w("a")});
        if (c.flags < 0) {
            EXPECT_EQ(spec_error(spec), ErrorId::script_bad_func_def);
            continue;
        }
        EXPECT_EQ(function::validate_spec(&spec), uint32_t(c.flags));
        Cell f = make_function(spec, blk({}));
        EXPECT_EQ(f.header & 0x600, uint32_t(c.flags));
    }
}

TEST_F(Function, GrammarViolationsNameTheSpec) {
    const Cell cases[] = {
        blk({w("a"), ref("local"), lit("x")}),                          // lit-word after /local
        blk({w("a"), ref("local"), get("x")}),                          // get-word after /local
        blk({set("return"), blk({}), ref("only")}),                     // refinement after return:
        blk({set("return"), blk({}), set("return"), blk({})}),          // return: twice
        blk({set("return"), blk({}), str("doc"), w("a")}),              // parameter after return:
        blk({set("return"), w("a")}),                                   // return: without types
        blk({set("return"), blk({}), w("a")}),                          // return: [] then a word
        blk({ref("local"), w("x"), set("return"), blk({})}),            // return: after /local
        blk({w("a"), set("b"), blk({})}),                               // other set-word
        blk({w("a"), str("doc"), blk({w("integer!")})}),                // types after the doc
        blk({ref("only"), blk({w("integer!")})}),                       // types after a refinement
        blk({ref("only"), integer_cell(1)}),                            // junk after a refinement
        blk({ref("local"), w("x"), ref("only")}),                       // refinement after /local
        blk({w("a"), blk({}), blk({})}),                                // a second block
        blk({w("a"), integer_cell(1)}),                                 // a value of another type
    };
    for (const Cell& spec : cases) {
        Cell error{};
        ASSERT_EQ(spec_error(spec, &error), ErrorId::script_bad_func_def) << mold(spec);
        EXPECT_EQ(error_arg(error, 0).data2, spec.data2);
    }
}

TEST_F(Function, AcceptedSpecsAfterLocalAndReturn) {
    const Cell cases[] = {
        blk({set("return"), blk({}), ref("local"), w("x")}),
        blk({set("return"), blk({}), str("doc"), ref("local"), w("x")}),
        blk({w("a"), set("return"), blk({})}),
        blk({ref("local"), w("x"), blk({w("integer!")}), w("y")}),
        blk({ref("only"), ref("part"), w("n")}),
        blk({ref("only")}),
    };
    for (const Cell& spec : cases) EXPECT_EQ(function::validate_spec(&spec), 0u) << mold(spec);
}

TEST_F(Function, DuplicateNamesRaiseDupVarsWithTheLaterOne) {
    const struct {
        Cell spec;
        uint32_t type;
        const char* name;
    } cases[] = {
        {blk({w("a"), w("b"), w("a")}), TYPE_WORD, "a"},
        {blk({w("a"), w("A")}), TYPE_WORD, "A"},
        {blk({w("a"), ref("a")}), TYPE_REFINEMENT, "a"},
        {blk({w("x"), ref("local"), w("x")}), TYPE_WORD, "x"},
        {blk({lit("b"), get("b")}), TYPE_GET_WORD, "b"},
    };
    for (const auto& c : cases) {
        Cell error{};
        ASSERT_EQ(spec_error(c.spec, &error), ErrorId::script_dup_vars);
        Cell arg = error_arg(error, 0);
        EXPECT_EQ(arg.type(), c.type);
        EXPECT_EQ(symbol::name(arg.data2), c.name);
    }
}

TEST_F(Function, TypeBlockEntriesMustBeTypesTypesetsOrWords) {
    Cell typeset = make_cell(TYPE_TYPESET);
    Cell named_word = w("named");
    Cell alias = w("alias");  // its value is a word
    word::set_value(&alias, &named_word);
    Cell number = w("number");
    Cell one = integer_cell(1);
    word::set_value(&number, &one);

    Cell good = blk({w("integer!"), typeset, make_cell(TYPE_DATATYPE, TYPE_STRING), alias});
    function::check_type_block(&good);

    Cell error{};
    Cell literal = blk({w("a"), blk({integer_cell(7)})});
    EXPECT_EQ(spec_error(literal, &error), ErrorId::script_invalid_type_spec);
    EXPECT_EQ(error_arg(error, 0).as_int(), 7);

    Cell by_word = blk({w("a"), blk({w("integer!"), number})});
    EXPECT_EQ(spec_error(by_word, &error), ErrorId::script_invalid_type_spec);
    EXPECT_EQ(error_arg(error, 0).data2, number.data2);  // the entry, not its value

    Cell unset_word = blk({w("a"), blk({w("no-such-type!")})});
    EXPECT_EQ(spec_error(unset_word), ErrorId::script_no_value);
}

TEST_F(Function, MakeNeedsASpecBlockAndABodyBlock) {
    Cell proto = make_cell(TYPE_DATATYPE, TYPE_FUNCTION);
    auto make = registry::handler<A_MAKE>(TYPE_FUNCTION);
    const Cell cases[] = {
        integer_cell(1),
        blk({blk({})}),
        blk({w("a"), blk({})}),
        blk({blk({}), w("a")}),
    };
    for (Cell arg : cases) {
        Cell error{};
        EXPECT_EQ(raised([&] { make(&proto, &arg, TYPE_FUNCTION); }, &error),
                  ErrorId::script_bad_func_def);
        EXPECT_EQ(error_arg(error, 0).header, arg.header);
        EXPECT_EQ(error_arg(error, 0).data2, arg.data2);
    }
    // A spec error names the function spec, not the make argument.
    Cell spec = blk({w("a"), integer_cell(1)});
    Cell arg = blk({spec, blk({})});
    Cell error{};
    EXPECT_EQ(raised([&] { make(&proto, &arg, TYPE_FUNCTION); }, &error),
              ErrorId::script_bad_func_def);
    EXPECT_EQ(error_arg(error, 0).data2, spec.data2);
}

// ---------------------------------------------------------------- locals

TEST_F(Function, CollectLocalsFromSetWordsAndLoopWords) {
    const struct {
        Cell spec, body;
        const char* locals;
        const char* spec_after;
    } cases[] = {
        // set-words and foreach words; a parameter is not made local
        {blk({w("a")}),
         blk({set("x"), w("a"), set("y"), w("a"), w("foreach"), blk({w("k"), lit("v")}), w("a"),
              blk({set("a")})}),
         "[x y k v]", "[a /local x y k v]"},
        // loop words, nested blocks and parens; letter case does not matter
        {blk({}),
         blk({w("repeat"), w("i"), w("n"), blk({paren({set("Z"), set("z")})}),
              w("foreach"), set("e"), w("s"), w("remove-each"), blk({get("r")}), w("s")}),
         "[i Z e r]", "[/local i Z e r]"},
        // an existing /local is extended
        {blk({w("a"), ref("local"), w("t")}), blk({set("u"), set("t")}), "[u]", "[a /local t u]"},
        // /extern words are left out and cut from the spec; its /local words stay local
        {blk({w("a"), ref("extern"), w("g"), ref("local"), w("t")}), blk({set("g"), set("u")}),
         "[t u]", "[a /local t u]"},
        // a collected local is dropped; /local is still added
        {blk({}), blk({set("local")}), "[]", "[/local]"},
        // nothing collected: the spec is left alone
        {blk({w("a")}), blk({w("a")}), "[]", "[a]"},
    };
    for (const auto& c : cases) {
        Cell* locals = function::collect_locals(&c.spec, &c.body);
        EXPECT_EQ(stack::top(), locals);  // nothing else left on the stack
        EXPECT_EQ(mold(*locals), c.locals);
        EXPECT_EQ(mold(c.spec), c.spec_after);
    }
}

TEST_F(Function, ExternSpecHoldsOnlyWordsStringsAndBlocks) {
    Cell spec =
        blk({w("a"), blk({w("integer!")}), str("doc"), ref("extern"), w("g"), integer_cell(5)});
    Cell body = blk({});
    Cell error{};
    EXPECT_EQ(raised([&] { function::collect_locals(&spec, &body); }, &error),
              ErrorId::script_bad_func_extern);
    EXPECT_EQ(error_arg(error, 0).as_int(), 5);
    // Without /extern the same value is no concern of the local collection.
    Cell plain = blk({w("a"), integer_cell(5)});
    function::collect_locals(&plain, &body);
}

TEST_F(Function, CountLocalsAndPushLocals) {
    Cell with_locals = blk({w("a"), ref("local"), w("x"), str("doc"), w("y")});
    Cell without = blk({w("a"), ref("only")});
    EXPECT_EQ(function::count_locals(&with_locals, 0, true), 3);
    EXPECT_EQ(function::count_locals(&with_locals, 2, false), 0);
    EXPECT_EQ(function::count_locals(&without, 0, true), -1);
    EXPECT_EQ(function::count_locals(&without, 0, false), 0);

    Cell* first = stack::g_top;
    function::push_locals(3);
    ASSERT_EQ(stack::g_top - first, 3);
    EXPECT_TRUE(first[0].is(TYPE_LOGIC));
    EXPECT_EQ(first[0].data1, 0u);
    EXPECT_TRUE(first[1].is(TYPE_NONE));
    EXPECT_TRUE(first[2].is(TYPE_NONE));
    function::push_locals(0);
    EXPECT_EQ(stack::g_top - first, 3);
}

// ---------------------------------------------------------------- values

TEST_F(Function, PushBuildsTheCellAndTheMoreBlock) {
    Cell inner = blk({w("a")});
    Cell spec = blk({w("zz"), w("a"), w("b")});
    spec.data1 = 1;  // the spec is copied from its head
    Cell body = blk({w("a"), inner, w("c")});
    NodeId ctx = function::push(&spec, &body, 0, 7, 42, function::TRACE_FLAG);
    Cell f = *stack::top();
    EXPECT_EQ(f.type(), uint32_t(TYPE_FUNCTION));
    EXPECT_EQ(f.header & 0x600, function::TRACE_FLAG);
    EXPECT_EQ(f.data1, ctx);
    EXPECT_NE(f.data2, spec.data2);
    EXPECT_EQ(mold(make_cell(TYPE_BLOCK, 0, f.data2, 0)), "[a b]");
    EXPECT_EQ(context_names(ctx), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(context::owner_of(ctx)->data3, f.data3);  // the context knows its function

    Cell copy = *function::more_cell(&f, function::MORE_BODY);
    EXPECT_NE(copy.data2, body.data2);
    const Cell* cells = memory::buffer_of(copy.data2)->head_cell();
    EXPECT_NE(cells[1].data2, inner.data2);  // deep copy
    EXPECT_EQ(cells[0].data1, ctx);          // bound to the new context
    EXPECT_EQ(cells[0].data3, 0u);
    EXPECT_EQ(memory::buffer_of(cells[1].data2)->head_cell()->data1, ctx);
    EXPECT_NE(cells[2].data1, ctx);  // not a word of the context
    EXPECT_TRUE(function::more_cell(&f, function::MORE_ARGUMENTS)->is(TYPE_UNSET));
    EXPECT_EQ(function::more_cell(&f, function::MORE_ENTRY)->as_int(), 7);
    EXPECT_TRUE(function::more_cell(&f, function::MORE_OP_FUNCTION)->is(TYPE_UNSET));
    EXPECT_EQ(function::more_cell(&f, function::MORE_OWNER)->as_int(), 42);
}

TEST_F(Function, PushWithAGivenContextLeavesTheBodyUnbound) {
    Cell spec = blk({w("a")});
    Cell body = blk({w("a")});
    NodeId given = context::from_spec(&spec, true, false, context::FUNCTION_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, given, 0, 0));
    EXPECT_EQ(function::push(&spec, &body, given, 0, 0, 0), given);
    Cell f = *stack::top();
    EXPECT_NE(f.data2, spec.data2);  // the function keeps a copy of its spec
    EXPECT_EQ(mold(make_cell(TYPE_BLOCK, 0, f.data2, 0)), "[a]");
    const Cell copy = *function::more_cell(&f, function::MORE_BODY);
    EXPECT_EQ(memory::buffer_of(copy.data2)->head_cell()->data1, context::global());
    EXPECT_TRUE(function::more_cell(&f, function::MORE_ENTRY)->is(TYPE_UNSET));
    EXPECT_TRUE(function::more_cell(&f, function::MORE_OWNER)->is(TYPE_UNSET));
    EXPECT_EQ(context::owner_of(given)->data3, f.data3);

    function::push(&spec, nullptr, 0, 0, 0, 0);
    EXPECT_TRUE(function::more_cell(stack::top(), function::MORE_BODY)->is(TYPE_NONE));
}

TEST_F(Function, HeadsPastTheTailAreClipped) {
    Cell spec = blk({w("a")});
    spec.data1 = 5;
    Cell body = blk({w("a")});
    body.data1 = 9;
    NodeId ctx = function::push(&spec, &body, 0, 0, 0, 0);
    Cell f = *stack::top();
    EXPECT_EQ(context::word_count(ctx), 0u);
    EXPECT_EQ(mold(f), "func [][]");
}

TEST_F(Function, BodyCopyKeepsTheLibraryMark) {
    Cell inner = blk({w("a")});
    Cell body = blk({inner});
    memory::buffer_of(body.data2)->flags |= memory::LIBRARY_FLAG;
    memory::buffer_of(inner.data2)->flags |= memory::LIBRARY_FLAG;
    Cell spec = blk({});
    function::push(&spec, &body, 0, 0, 0, 0);
    Cell copy = *function::more_cell(stack::top(), function::MORE_BODY);
    EXPECT_TRUE(memory::buffer_of(copy.data2)->flags & memory::LIBRARY_FLAG);
    Cell nested = *memory::buffer_of(copy.data2)->head_cell();
    EXPECT_TRUE(memory::buffer_of(nested.data2)->flags & memory::LIBRARY_FLAG);

    Cell user = blk({w("a")});
    function::push(&spec, &user, 0, 0, 0, 0);
    copy = *function::more_cell(stack::top(), function::MORE_BODY);
    EXPECT_FALSE(memory::buffer_of(copy.data2)->flags & memory::LIBRARY_FLAG);
}

TEST_F(Function, FormMoldAndReflect) {
    Cell spec = blk({w("x"), ref("local"), w("y")});
    Cell f = make_function(spec, blk({w("x"), w("+"), w("y")}));
    EXPECT_EQ(form(f), "?function?");
    EXPECT_EQ(mold(f), "func [x /local y][x + y]");
    EXPECT_EQ(mold(f, true), "func [x /local y][x + y]");  // /only is not passed on
    function::push(&spec, nullptr, 0, 0, 0, 0);
    EXPECT_EQ(mold(*stack::top()), "func [x /local y] none");

    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    EXPECT_EQ(actions::mold_direct(&f, buffer, false, false, false, nullptr, 100, 0),
              100 - int(std::strlen("func [x /local y][x + y]")));
    EXPECT_EQ(actions::form_direct(&f, buffer, nullptr, 100), 90);

    Cell s = reflect(f, sym::spec);  // a copy, not the function's own block
    EXPECT_NE(s.data2, f.data2);
    EXPECT_EQ(mold(s), "[x /local y]");
    EXPECT_EQ(s.data1, 0u);
    Cell b = reflect(f, sym::body);
    EXPECT_EQ(b.data2, function::more_cell(&f, function::MORE_BODY)->data2);
    Cell words = reflect(f, sym::words);
    EXPECT_EQ(mold(words), "[x local y]");
    const Cell* cells = memory::buffer_of(words.data2)->head_cell();
    for (uint32_t i = 0; i < 3; i++) {
        EXPECT_TRUE(cells[i].is(TYPE_WORD));
        EXPECT_EQ(cells[i].data1, f.data1);
        EXPECT_EQ(cells[i].data3, i);
    }
    EXPECT_EQ(raised([&] { reflect(f, sym::values); }), ErrorId::internal_not_done);
}

TEST_F(Function, EqualOnlyToItself) {
    Cell spec = blk({w("x")});
    Cell body = blk({w("x")});
    Cell f = make_function(spec, body);
    Cell g = make_function(spec, body);
    Cell f2 = f;
    EXPECT_TRUE(actions::compare(&f, &f2, COMP_EQUAL));
    EXPECT_TRUE(actions::compare(&f, &f2, COMP_SAME));
    EXPECT_FALSE(actions::compare(&f, &g, COMP_EQUAL));
    auto compare = registry::handler<A_COMPARE>(TYPE_FUNCTION);
    EXPECT_EQ(compare(&f, &g, COMP_SORT), f.data3 < g.data3 ? -1 : 1);
    EXPECT_EQ(compare(&f, &f2, COMP_FIND), 0);
    EXPECT_EQ(compare(&f, &f2, COMP_LESSER), COMPARE_UNCOMPARABLE);
    EXPECT_EQ(compare(&f, &f2, COMP_STRICT_LIT), COMPARE_UNCOMPARABLE);
    Cell none = make_cell(TYPE_NONE);
    EXPECT_EQ(compare(&f, &none, COMP_EQUAL), COMPARE_UNCOMPARABLE);
}

TEST_F(Function, NthParameterOfTheInnermostCall) {
    Cell f = make_function(blk({str("doc"), w("a"), blk({w("integer!")}), lit("b"), ref("only"),
                                set("return"), blk({}), ref("local"), w("x")}),
                           blk({}));
    Cell name = w("fun");
    word::set_value(&name, &f);
    stack::push_native_frame(&name);
    const struct {
        int32_t n;
        uint32_t type;
        const char* name;
    } cases[] = {
        {0, TYPE_WORD, "a"}, {1, TYPE_LIT_WORD, "b"}, {2, TYPE_REFINEMENT, "only"},
        {3, TYPE_REFINEMENT, "local"}, {4, TYPE_WORD, "x"}, {5, TYPE_WORD, "<anon>"},
    };
    for (const auto& c : cases) {
        Cell p = function::nth_parameter(c.n);
        EXPECT_EQ(p.type(), c.type) << c.n;
        EXPECT_EQ(symbol::name(p.data2), c.name) << c.n;
    }
    stack::pop_frame();

    Cell other = w("not-a-function");
    stack::push_native_frame(&other);
    EXPECT_EQ(symbol::name(function::nth_parameter(0).data2), "<anon>");
    stack::pop_frame();
}

// ---------------------------------------------------------------- routines

routine::MachineResult first_routine(Cell*) { return {}; }
routine::MachineResult second_routine(Cell*) { return {1, 0.0}; }

TEST_F(Function, RoutineEntriesAreStableIndexes) {
    uint32_t a = routine::register_entry(&first_routine);
    uint32_t b = routine::register_entry(&second_routine);
    EXPECT_GE(a, 1u);
    EXPECT_NE(a, b);
    EXPECT_EQ(routine::register_entry(&first_routine), a);
    EXPECT_EQ(routine::entry(a), &first_routine);
    EXPECT_EQ(routine::entry(b), &second_routine);
    EXPECT_EQ(routine::entry(0), nullptr);
    EXPECT_EQ(routine::entry(routine::TABLE_SIZE + 1), nullptr);
}

TEST_F(Function, RoutinePushStoresEntryReturnTypeAndArity) {
    uint32_t entry = routine::register_entry(&second_routine);
    Cell spec = blk({str("doc"), w("a"), blk({w("integer!")}), str("arg"), w("b"), ref("only"),
                     w("c"), set("return"), blk({w("integer!")})});
    Cell body = blk({w("b")});
    Cell r = *routine::push(&spec, &body, entry, TYPE_INTEGER, false);
    EXPECT_EQ(r.type(), uint32_t(TYPE_ROUTINE));
    EXPECT_EQ(routine::arity(&r), 3u);
    EXPECT_FALSE(r.header & routine::CELL_ARGUMENTS_FLAG);
    EXPECT_EQ(context_names(r.data1), (std::vector<std::string>{"a", "b", "only", "c"}));
    EXPECT_EQ(context::owner_of(r.data1)->header, r.header);
    EXPECT_EQ(function::more_cell(&r, function::MORE_ENTRY)->as_int(), int32_t(entry));
    EXPECT_EQ(function::more_cell(&r, function::MORE_OWNER)->as_int(), int32_t(TYPE_INTEGER));
    Cell copy = *function::more_cell(&r, function::MORE_BODY);
    EXPECT_NE(copy.data2, body.data2);
    EXPECT_NE(memory::buffer_of(copy.data2)->head_cell()->data1, r.data1);  // not bound

    Cell flagged = *routine::push(&spec, nullptr, entry, routine::NO_RETURN_TYPE, true);
    EXPECT_TRUE(flagged.header & routine::CELL_ARGUMENTS_FLAG);
    EXPECT_EQ(routine::arity(&flagged), 3u);
    EXPECT_EQ(function::more_cell(&flagged, function::MORE_OWNER)->as_int(), -1);
    EXPECT_TRUE(function::more_cell(&flagged, function::MORE_BODY)->is(TYPE_NONE));
}

TEST_F(Function, RoutineFormMoldReflectAndCompare) {
    uint32_t entry = routine::register_entry(&first_routine);
    Cell spec = blk({w("a"), w("b")});
    Cell r = *routine::push(&spec, nullptr, entry, -1, false);
    Cell body = blk({w("a"), w("b")});
    Cell s = *routine::push(&spec, &body, entry, -1, false);
    EXPECT_EQ(form(r), "?routine?");
    EXPECT_EQ(mold(r), "routine [a b] none");
    EXPECT_EQ(mold(s), "routine [a b][a b]");
    EXPECT_EQ(mold(s, true), "routine a ba b");  // the caller's flags reach spec and body

    EXPECT_NE(reflect(s, sym::spec).data2, s.data2);
    EXPECT_EQ(mold(reflect(s, sym::spec)), "[a b]");
    EXPECT_EQ(mold(reflect(s, sym::body)), "[a b]");
    EXPECT_EQ(mold(reflect(s, sym::words)), "[a b]");

    Cell r2 = r;
    EXPECT_TRUE(actions::compare(&r, &r2, COMP_EQUAL));
    EXPECT_FALSE(actions::compare(&r, &s, COMP_EQUAL));  // same entry, other value
    Cell f = make_function(spec, body);
    auto compare = registry::handler<A_COMPARE>(TYPE_ROUTINE);
    EXPECT_EQ(compare(&r, &f, COMP_EQUAL), COMPARE_UNCOMPARABLE);
    // Routines are made by start-up, never by make.
    EXPECT_EQ(registry::entry(TYPE_ROUTINE, A_MAKE), nullptr);
}

}  // namespace
