#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "core/ownership.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"
#include "startup/system_data.hpp"

using namespace zun;
using test_support::error_arg;
using test_support::raised;

namespace {

// Handler calls the runner saw: the cells from the call's arguments base up.
std::vector<std::vector<Cell>> g_calls;

void recording_runner(const Cell*) { g_calls.emplace_back(stack::g_base, stack::g_top); }

// Runs blocks of set-words followed by constants, lit-words (giving words)
// or words (giving their values), assigning with notification as the
// evaluator would.
void constant_evaluator(Cell* block) {
    const Cell b = *block;
    for (int32_t i = block::head_index(&b); i < block::length_from_start(&b); i++) {
        int32_t j = i;
        while (j < block::length_from_start(&b) && block::cell_at(&b, j)->is(TYPE_SET_WORD)) j++;
        if (j == i) continue;
        Cell value = *block::cell_at(&b, j);
        if (value.is(TYPE_LIT_WORD)) value.set_type(TYPE_WORD);
        else if (value.is(TYPE_WORD)) value = *word::get_value(&value);
        for (int32_t k = i; k < j; k++) {
            Cell w = *block::cell_at(&b, k);
            context::set_word_value(&w, &value, w.data1, true);
        }
        i = j;
    }
}

class Object : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        object::init_class_ids();
        system_data::init();
        object::end_startup_classes();
        stack::push_native_frame(nullptr);
        g_calls.clear();
    }
    void TearDown() override {
        object::set_block_evaluator(nullptr);
        object::set_function_runner(nullptr);
        ownership::install_table({});
    }

    static Cell* load(const char* text) { return system_data::load(text, std::strlen(text)); }
    // construct of the text, pushed.
    static Cell* construct(const char* text, const Cell* proto = &shared_none_cell, bool only = false) {
        Cell* spec = load(text);
        Cell* made = object::push_new(proto, spec, only);
        *spec = *made;
        stack::g_top = spec + 1;
        return spec;
    }
    static Cell field(const Cell& obj, const char* name) {
        Cell w = make_cell(TYPE_WORD, 0, symbol::make(name), context::NO_INDEX);
        return *object::select_word(&obj, &w);
    }
    static Cell word_of(const char* name, uint32_t type = TYPE_WORD) {
        return make_cell(type, 0, symbol::make(name), context::NO_INDEX);
    }
    static std::string utf8(const Cell* str) {
        std::string out;
        for (int32_t i = 0; i < string::length_from_start(str); i++) out += char(string::char_at(str, i));
        return out;
    }
    static std::string molded(Cell value, bool only = false, bool all = false, bool flat = false,
                              int indent = 0) {
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        actions::mold_direct(&value, buffer, only, all, flat, nullptr, 100000, indent);
        std::string text = utf8(buffer);
        stack::pop(1);
        return text;
    }
    static std::string formed(Cell value) {
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        actions::form_direct(&value, buffer, nullptr, 100000);
        std::string text = utf8(buffer);
        stack::pop(1);
        return text;
    }
    // A function of the given spec with an empty body, pushed.
    static Cell* handler(const char* spec) {
        Cell* s = load(spec);
        Cell* body = load("");
        function::push(s, body, 0, 0, 0, 0);
        return stack::top();
    }
    static void set_field(const Cell& obj, const char* name, const Cell& value) {
        Cell w = word_of(name);
        context::put_value(obj.data1, &w, &value);
    }
};

// ---------------------------------------------------------------- making

TEST_F(Object, ConstructAssignsWithoutEvaluating) {
    struct Case {
        const char* spec;
        bool only;
        const char* mold;
    } cases[] = {
        {"a: b: yes c: none d: 'x e: on", false, "make object! [a: true b: true c: none d: 'x e: true]"},
        {"a: b: yes c: none", true, "make object! [a: 'yes b: 'yes c: 'none]"},
        {"a: 1 x b: \"s\" c:", false, "make object! [a: 1 b: \"s\" c: none]"},
        {"", false, "make object! []"},
    };
    for (const Case& c : cases) {
        Cell* obj = construct(c.spec, &shared_none_cell, c.only);
        EXPECT_EQ(molded(*obj, false, false, true), c.mold) << c.spec;
    }
}

TEST_F(Object, ConstructFromAPrototypeCopiesItAndAClassGoesWithTheFields) {
    Cell proto = *construct("a: 1 s: \"x\"");
    Cell same = *construct("a: 2", &proto);
    Cell wider = *construct("b: 3", &proto);
    EXPECT_EQ(same.data2, proto.data2);
    EXPECT_NE(wider.data2, proto.data2);
    EXPECT_EQ(molded(same, false, false, true), "make object! [a: 2 s: \"x\"]");
    EXPECT_EQ(molded(proto, false, false, true), "make object! [a: 1 s: \"x\"]");
    EXPECT_EQ(field(same, "s").data2, field(proto, "s").data2);  // copy shares series
    EXPECT_EQ(object::field_count(&wider), 3u);
}

TEST_F(Object, RunTimeClassIdsStartAboveAMillionAfterStartUpIds) {
    EXPECT_LT(system_data::catalog_errors()->data2, object::RUN_TIME_CLASS_BASE);
    EXPECT_GT(system_data::catalog_errors()->data2, system_data::standard()->data2 - 100);
    EXPECT_EQ(construct("a: 1")->data2, object::RUN_TIME_CLASS_BASE + 1);
    EXPECT_EQ(construct("a: 1")->data2, object::RUN_TIME_CLASS_BASE + 2);
    object::init_class_ids();
    EXPECT_EQ(object::new_class_id(), object::START_UP_CLASS_BASE + 1);
}

TEST_F(Object, MakeFromAPrototypeWithAnEmptySpecKeepsTheClassAndCopiesSeries) {
    Cell proto = *construct("a: 1 s: \"x\" b: [a]");
    Cell dt = make_cell(TYPE_DATATYPE, TYPE_OBJECT);
    Cell* spec = load("");
    Cell made = *object::make(&proto, spec, TYPE_OBJECT);
    EXPECT_EQ(made.data2, proto.data2);
    EXPECT_NE(field(made, "s").data2, field(proto, "s").data2);
    Cell inner = field(made, "b");
    EXPECT_EQ(block::cell_at(&inner, 0)->data1, made.data1);  // bound to the new object
    EXPECT_EQ(raised([&] { object::make(&dt, load("a: 1"), TYPE_OBJECT); }), ErrorId::internal_not_done);
    Cell number = integer_cell(3);
    Cell error;
    EXPECT_EQ(raised([&] { object::make(&dt, &number, TYPE_OBJECT); }, &error),
              ErrorId::syntax_malconstruct);
    EXPECT_EQ(error_arg(error, 0).as_int(), 3);
}

TEST_F(Object, MakeEvaluatesTheSpecThroughTheEvaluatorHook) {
    object::set_block_evaluator(constant_evaluator);
    object::set_function_runner(recording_runner);
    Cell dt = make_cell(TYPE_DATATYPE, TYPE_OBJECT);
    Cell plain = *object::make(&dt, load("a: b: 1"), TYPE_OBJECT);
    EXPECT_EQ(plain.data2, object::RUN_TIME_CLASS_BASE + 1);
    EXPECT_EQ(molded(plain, false, false, true), "make object! [a: 1 b: 1]");
    Cell proto = *construct("a: 1 on-change*: none");
    set_field(proto, "on-change*", *handler("word old new"));
    object::install_handlers(&proto);

    // No handler runs while the spec is evaluated; the marks are cleared after.
    Cell child = *object::make(&proto, load("a: 2"), TYPE_OBJECT);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(child.data2, proto.data2);
    EXPECT_NE(child.data3, 0u);
    EXPECT_EQ(field(child, "a").as_int(), 2);
    Cell changed = child;
    object::reflect(&changed, words::get(words::changed)->data2);
    EXPECT_EQ(block::length_from_head(&changed), 0);

    Cell wider = *object::make(&proto, load("b: 'x"), TYPE_OBJECT);
    EXPECT_NE(wider.data2, proto.data2);
    EXPECT_EQ(molded(wider, false, false, true), "make object! [a: 1 b: 'x]");

    Cell merged = *object::make(&dt, &wider, TYPE_OBJECT);
    EXPECT_NE(merged.data2, wider.data2);
    EXPECT_EQ(molded(merged, false, false, true), "make object! [a: 1 b: 'x]");
}

TEST_F(Object, CompiledCodeBuildsAndReadsObjectsByIndex) {
    NodeId ctx = context::create(2, false, true, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell a = word_of("a"), deep = word_of("on-deep-change*");
    context::add_word(ctx, &a);
    context::add_word(ctx, &deep);
    Cell* obj = object::push(ctx, 77);
    EXPECT_EQ(context::owner_of(ctx)->data2, 77u);
    EXPECT_TRUE(object::values_base(obj)[0].is(TYPE_UNSET));
    EXPECT_EQ(object::first_word(obj)->data2, a.data2);
    EXPECT_EQ(object::word_of_value(obj, object::values_base(obj) + 1)->data2, deep.data2);
    EXPECT_EQ(object::word_of_value(obj, obj), nullptr);
    object::values_base(obj)[0] = *obj;
    EXPECT_TRUE(object::field_object_of_class_q(ctx, 0, 77));
    EXPECT_FALSE(object::field_object_of_class_q(ctx, 1, 77));
    object::finish_with_handlers(-1, 0, 1, 0);
    EXPECT_NE(obj->data3, 0u);
    EXPECT_TRUE(object::has_deep_handler_q(obj));
    EXPECT_EQ(context::owner_of(ctx)->data3, obj->data3);
    EXPECT_TRUE(context::cell_of(ctx)->header & ownership::OWNER_MARK);
}

// ---------------------------------------------------------------- copy and reflect

TEST_F(Object, CopySharesOrCopiesSeriesAndRefusesAPart) {
    using test_support::keep;
    Cell obj = keep(*construct("s: \"x\" b: [1 [2]] n: 5"));
    Cell result = shared_none_cell;
    Cell shallow = keep(*object::copy(&obj, &result, nullptr, false, nullptr));
    EXPECT_NE(shallow.data1, obj.data1);
    EXPECT_EQ(shallow.data2, obj.data2);
    EXPECT_EQ(field(shallow, "s").data2, field(obj, "s").data2);
    Cell deep = keep(*object::copy(&obj, &result, nullptr, true, nullptr));
    EXPECT_NE(field(deep, "s").data2, field(obj, "s").data2);
    EXPECT_NE(field(deep, "b").data2, field(obj, "b").data2);
    Cell types = make_cell(TYPE_DATATYPE, TYPE_STRING);
    Cell typed = keep(*object::copy(&obj, &result, nullptr, false, &types));
    EXPECT_NE(field(typed, "s").data2, field(obj, "s").data2);
    EXPECT_EQ(field(typed, "b").data2, field(obj, "b").data2);
    EXPECT_EQ(molded(typed, false, false, true), molded(obj, false, false, true));

    Cell part = integer_cell(1);
    Cell error;
    EXPECT_EQ(raised([&] { object::copy(&obj, &result, &part, false, nullptr); }, &error),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(std::string(symbol::name(error_arg(error, 0).data2)), "part");
}

TEST_F(Object, CopyRebindsFunctionFieldsToTheCopy) {
    Cell obj = *construct("a: 1 f: none");
    Cell* body = load("a x");
    Cell* spec = load("x");
    function::push(spec, body, 0, 0, 0, 0);
    set_field(obj, "f", *stack::top());
    Cell result = shared_none_cell;
    Cell copy = *object::copy(&obj, &result, nullptr, false, nullptr);
    Cell fn = field(copy, "f");
    ASSERT_TRUE(fn.is(TYPE_FUNCTION));
    EXPECT_NE(fn.data1, field(obj, "f").data1);
    Cell new_body = *function::more_cell(&fn, function::MORE_BODY);
    EXPECT_EQ(block::cell_at(&new_body, 0)->data1, copy.data1);  // a: the copy's field
    EXPECT_EQ(block::cell_at(&new_body, 1)->data1, fn.data1);    // x: the function's own
}

TEST_F(Object, ReflectAnswersEachField) {
    using test_support::keep;
    Cell obj = keep(*construct("x: none p: none n: 1"));
    set_field(obj, "x", word_of("y"));
    Cell path = keep(*load("q"));
    path.set_type(TYPE_PATH);
    set_field(obj, "p", path);
    auto reflect = [&](const char* name) {
        Cell v = obj;
        object::reflect(&v, symbol::make(name));
        return keep(v);
    };
    Cell words = reflect("words");
    EXPECT_EQ(molded(words, false, false, true), "[x p n]");
    EXPECT_EQ(block::cell_at(&words, 0)->data1, obj.data1);
    EXPECT_EQ(molded(reflect("values"), false, false, true), "[y q 1]");
    EXPECT_EQ(molded(reflect("body")), "[\n    x: 'y\n    p: 'q\n    n: 1\n]");
    EXPECT_EQ(reflect("class").as_int(), int32_t(obj.data2));
    EXPECT_TRUE(reflect("events?").is(TYPE_LOGIC));
    EXPECT_EQ(reflect("events?").data1, 0u);
    EXPECT_EQ(reflect("owner").data1, 0u);
    Cell changed_words = reflect("changed");
    EXPECT_EQ(block::length_from_head(&changed_words), 0);

    Cell x = word_of("x");
    Cell two = integer_cell(2);
    object::eval_path(&obj, &x, &two, nullptr, nullptr, nullptr, 0, false, false, true, true);
    EXPECT_EQ(molded(reflect("changed"), false, false, true), "[x]");
    Cell none = shared_none_cell;
    Cell changed = word_of("changed");
    object::modify(&obj, &changed, &none, false);
    EXPECT_EQ(molded(reflect("changed"), false, false, true), "[]");
    Cell one = integer_cell(1);
    EXPECT_EQ(raised([&] { object::modify(&obj, &changed, &one, false); }), ErrorId::script_invalid_arg);
    EXPECT_EQ(raised([&] { reflect("spec"); }), ErrorId::internal_not_done);
}

// ---------------------------------------------------------------- form and mold

TEST_F(Object, MoldAndFormLayouts) {
    Cell obj = *construct("a: 1 b: \"x\"");
    Cell inner = *construct("d: 'w");
    Cell nested = *construct("c: none");
    set_field(nested, "c", inner);
    Cell empty = *construct("");
    struct Case {
        Cell value;
        bool only, flat;
        int indent;
        const char* mold;
    } cases[] = {
        {obj, false, false, 0, "make object! [\n    a: 1\n    b: \"x\"\n]"},
        {obj, false, true, 0, "make object! [a: 1 b: \"x\"]"},
        {obj, true, false, 0, "a: 1\nb: \"x\""},
        {obj, false, false, 1, "make object! [\n        a: 1\n        b: \"x\"\n    ]"},
        {nested, false, false, 0,
         "make object! [\n    c: make object! [\n        d: 'w\n    ]\n]"},
        {nested, false, true, 0, "make object! [c: make object! [d: 'w]]"},
        {empty, false, false, 0, "make object! []"},
        {empty, false, true, 0, "make object! []"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(molded(c.value, c.only, false, c.flat, c.indent), c.mold) << c.mold;
    EXPECT_EQ(formed(obj), "a: 1\nb: \"x\"");
    EXPECT_EQ(formed(empty), "");
}

TEST_F(Object, MoldShowsHandlerFieldsOnlyWithAllAndMarksCycles) {
    Cell obj = *construct("a: 1 on-change*: none");
    EXPECT_EQ(molded(obj, false, false, true), "make object! [a: 1]");
    EXPECT_EQ(molded(obj, false, true, true), "make object! [a: 1 on-change*: #(none)]");
    set_field(obj, "a", obj);
    EXPECT_EQ(molded(obj, false, false, true), "make object! [a: make object! [...]]");
    EXPECT_EQ(formed(obj), "a: make object! [...]");
}

// ---------------------------------------------------------------- compare

TEST_F(Object, CompareByFieldsThenValues) {
    Cell a = *construct("x: 1 y: \"s\"");
    Cell b = *construct("x: 1 y: \"s\"");
    Cell c = *construct("x: 1 y: \"t\"");
    Cell one = *construct("x: 1");
    Cell other = *construct("z: 1 y: \"s\"");
    Cell number = integer_cell(1);
    struct Case {
        Cell *l, *r;
        int op;
        int sign;
    } cases[] = {
        {&a, &b, COMP_EQUAL, 0},  {&a, &a, COMP_SAME, 0},  {&a, &b, COMP_SAME, -1},
        {&a, &c, COMP_SORT, -1},  {&c, &a, COMP_SORT, 1},  {&one, &a, COMP_SORT, -1},
        {&a, &one, COMP_SORT, 1},
    };
    for (const Case& k : cases) {
        int order = object::compare(k.l, k.r, k.op);
        EXPECT_EQ(order < 0 ? -1 : order > 0 ? 1 : 0, k.sign) << k.op;
    }
    EXPECT_EQ(object::compare(&a, &number, COMP_EQUAL), COMPARE_UNCOMPARABLE);
    EXPECT_NE(object::compare(&a, &other, COMP_EQUAL), 0);
    EXPECT_TRUE(actions::compare(&a, &b, COMP_EQUAL));
    set_field(a, "x", a);  // a value inside itself
    set_field(b, "x", b);
    EXPECT_EQ(object::compare(&a, &b, COMP_EQUAL), 0);
}

// ---------------------------------------------------------------- path access, select, put

TEST_F(Object, PathAccessReadsAssignsAndNamesTheMissing) {
    Cell obj = *construct("a: 1 u: none");
    set_field(obj, "u", make_cell(TYPE_UNSET));
    Cell path = *load("o a");
    path.set_type(TYPE_PATH);
    Cell a = word_of("A");  // letter case does not matter
    Cell* got = object::eval_path(&obj, &a, nullptr, &path, nullptr, nullptr, 1, false, false, true, true);
    EXPECT_EQ(got->as_int(), 1);
    EXPECT_EQ(a.data1, obj.data1);  // the element is bound to the object
    Cell two = integer_cell(2);
    Cell set_a = word_of("a", TYPE_SET_WORD);
    object::eval_path(&obj, &set_a, &two, &path, nullptr, nullptr, 1, false, false, true, true);
    EXPECT_EQ(field(obj, "a").as_int(), 2);

    Cell missing = word_of("m");
    Cell u = word_of("u");
    Cell number = integer_cell(1);
    Cell error;
    auto get = [&](Cell* e, bool get_flag, bool last) {
        return object::eval_path(&obj, e, nullptr, &path, nullptr, nullptr, 1, false, get_flag, last, true);
    };
    EXPECT_EQ(raised([&] { get(&missing, false, true); }, &error), ErrorId::script_invalid_path);
    EXPECT_EQ(error_arg(error, 1).data2, missing.data2);
    EXPECT_EQ(raised([&] { get(&missing, false, false); }), ErrorId::script_unset_path);
    EXPECT_EQ(raised([&] { get(&u, false, false); }), ErrorId::script_unset_path);
    EXPECT_TRUE(get(&missing, true, true)->is(TYPE_UNSET));
    EXPECT_TRUE(get(&u, true, true)->is(TYPE_UNSET));
    EXPECT_EQ(raised([&] { get(&number, false, true); }), ErrorId::script_invalid_path);
}

TEST_F(Object, SelectPutAndModify) {
    Cell obj = *construct("a: 1");
    Cell a = word_of("a", TYPE_GET_WORD), missing = word_of("m");
    Cell v = obj;
    EXPECT_EQ(object::select(&v, &a, nullptr, false, false, false, false, nullptr, nullptr, false, false)->as_int(), 1);
    v = obj;
    EXPECT_TRUE(object::select(&v, &missing, nullptr, false, false, false, false, nullptr, nullptr, false, false)->is(TYPE_NONE));
    Cell number = integer_cell(1);
    Cell error;
    v = obj;
    EXPECT_EQ(raised([&] { object::select(&v, &number, nullptr, false, false, false, false, nullptr, nullptr, false, false); }, &error),
              ErrorId::script_invalid_type);
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_INTEGER));

    Cell key = word_of("a"), five = integer_cell(5);
    v = obj;
    EXPECT_EQ(object::put(&v, &key, &five, false)->as_int(), 5);
    EXPECT_EQ(field(obj, "a").as_int(), 5);
    v = obj;
    EXPECT_EQ(raised([&] { object::put(&v, &number, &five, false); }), ErrorId::script_invalid_key_type);

    Cell owner = word_of("owner");
    object::modify(&obj, &owner, &shared_none_cell, false);
    v = obj;
    object::reflect(&v, symbol::make("owner"));
    EXPECT_EQ(v.data1, 1u);
}

// ---------------------------------------------------------------- bulk assignment

TEST_F(Object, SetFromABlockAnObjectOrAValue) {
    Cell obj = *construct("a: b: c: 0");
    object::set_from(&obj, load("1 2"), false, false, false);
    EXPECT_EQ(molded(obj, false, false, true), "make object! [a: 1 b: 2 c: none]");
    Cell* some = load("7 0");
    *block::cell_at(some, 1) = shared_none_cell;
    object::set_from(&obj, some, false, false, true);
    EXPECT_EQ(molded(obj, false, false, true), "make object! [a: 7 b: 2 c: none]");
    Cell source = *construct("c: 9 z: 1");
    object::set_from(&obj, &source, false, false, false);
    EXPECT_EQ(molded(obj, false, false, true), "make object! [a: 7 b: 2 c: 9]");
    Cell* with_unset = load("3 4 5");
    *block::cell_at(with_unset, 1) = make_cell(TYPE_UNSET);
    Cell error;
    EXPECT_EQ(raised([&] { object::set_from(&obj, with_unset, false, false, false); }, &error),
              ErrorId::script_need_value);
    EXPECT_EQ(std::string(symbol::name(error_arg(error, 0).data2)), "b");
    EXPECT_EQ(field(obj, "a").as_int(), 7);  // nothing changed
    object::set_from(&obj, with_unset, true, false, false);
    EXPECT_TRUE(field(obj, "b").is(TYPE_UNSET));
    Cell four = integer_cell(4);
    object::set_from(&obj, &four, false, false, false);
    EXPECT_EQ(molded(obj, false, false, true), "make object! [a: 4 b: 4 c: 4]");
}

// ---------------------------------------------------------------- change handlers

TEST_F(Object, OnChangeRunsForAssignmentsAfterTheObjectIsMade) {
    object::set_function_runner(recording_runner);
    Cell obj = *construct("a: 1 b: 2 on-change*: none");
    EXPECT_EQ(raised([&] { object::install_handlers(&obj); }), ErrorId::script_bad_field_set);
    set_field(obj, "on-change*", *handler("word old new /local x y"));
    object::install_handlers(&obj);
    ASSERT_NE(obj.data3, 0u);

    Cell two = integer_cell(20), three = integer_cell(30);
    Cell a = word_of("a");
    object::eval_path(&obj, &a, &two, nullptr, nullptr, nullptr, 0, false, false, true, true);
    Cell b = word_of("b");
    int32_t i = object::find_field(&obj, &b);
    Cell bound = *object::word_at(obj.data1, uint32_t(i));
    bound.header = TYPE_WORD;
    word::set_value(&bound, &three);  // through the context's notifier
    ASSERT_EQ(g_calls.size(), 2u);
    const std::vector<Cell>& first = g_calls[0];
    ASSERT_EQ(first.size(), 6u);  // word old new, then /local x y
    EXPECT_EQ(first[0].data2, a.data2);
    EXPECT_EQ(first[0].data1, obj.data1);
    EXPECT_EQ(first[1].as_int(), 1);
    EXPECT_EQ(first[2].as_int(), 20);
    EXPECT_TRUE(first[3].is(TYPE_LOGIC));
    EXPECT_TRUE(first[4].is(TYPE_NONE));
    EXPECT_EQ(g_calls[1][1].as_int(), 2);
    EXPECT_EQ(g_calls[1][2].as_int(), 30);
    EXPECT_EQ(field(obj, "b").as_int(), 30);

    // A new handler takes effect at once, its locals counted again.
    set_field(obj, "on-change*", *handler("word old new"));
    object::eval_path(&obj, &a, &three, nullptr, nullptr, nullptr, 0, false, false, true, true);
    EXPECT_EQ(g_calls.back().size(), 3u);
    set_field(obj, "on-change*", integer_cell(1));
    Cell error;
    EXPECT_EQ(raised([&] { object::eval_path(&obj, &a, &two, nullptr, nullptr, nullptr, 0, false, false, true, true); }, &error),
              ErrorId::script_invalid_obj_evt);
    EXPECT_EQ(error_arg(error, 0).as_int(), 1);
}

TEST_F(Object, HandlersNeedTheEvaluatorAndSetFromSkipsThem) {
    Cell obj = *construct("a: 1 on-change*: none");
    set_field(obj, "on-change*", *handler("word old new"));
    object::install_handlers(&obj);
    Cell a = word_of("a"), two = integer_cell(2);
    EXPECT_EQ(raised([&] { object::eval_path(&obj, &a, &two, nullptr, nullptr, nullptr, 0, false, false, true, true); }),
              ErrorId::internal_not_done);
    object::set_function_runner(recording_runner);
    Cell nine = integer_cell(9);
    object::set_from(&obj, &nine, false, false, false);
    EXPECT_TRUE(field(obj, "on-change*").is(TYPE_FUNCTION));
    EXPECT_EQ(field(obj, "a").as_int(), 9);
    EXPECT_EQ(g_calls.size(), 1u);
}

// The ownership table comes later: a stand-in that owns every series by obj.
Cell g_owner, g_owner_word;
bool stand_in_find(NodeId, Cell* owner, Cell* word) {
    *owner = g_owner;
    *word = g_owner_word;
    return true;
}

TEST_F(Object, CheckOwnerReachesOnDeepChange) {
    object::set_function_runner(recording_runner);
    Cell* blk = load("1 2");
    g_owner = *construct("list: none on-deep-change*: none");
    g_owner_word = word_of("list");
    EXPECT_EQ(ownership::check_owner(blk, words::get(words::append), nullptr, 0, 1), 0);  // no table
    ownership::install_table({nullptr, nullptr, stand_in_find});
    EXPECT_EQ(ownership::check_owner(blk, words::get(words::append), nullptr, 0, 1), 0);  // no handler
    set_field(g_owner, "on-deep-change*", *handler("owner word target action new index part"));
    object::install_handlers(&g_owner);
    EXPECT_TRUE(object::has_deep_handler_q(&g_owner));
    Cell v = g_owner;
    object::reflect(&v, symbol::make("owner"));
    EXPECT_EQ(v.data1, 1u);  // registered as owner of its series
    Cell three = integer_cell(3);
    EXPECT_EQ(ownership::check_owner(blk, words::get(words::append), &three, 2, 1), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    const std::vector<Cell>& call = g_calls[0];
    ASSERT_EQ(call.size(), 7u);
    EXPECT_EQ(call[0].data1, g_owner.data1);
    EXPECT_EQ(call[1].data2, g_owner_word.data2);
    EXPECT_EQ(call[2].data2, blk->data2);
    EXPECT_EQ(call[3].data2, words::get(words::append)->data2);
    EXPECT_EQ(call[4].as_int(), 3);
    EXPECT_EQ(call[5].as_int(), 2);
    EXPECT_EQ(call[6].as_int(), 1);
    Cell plain = *construct("a: 1");
    EXPECT_EQ(raised([&] { object::fire_on_deep_change(&plain, &g_owner_word, blk, words::get(words::append), nullptr, 0, 1); }),
              ErrorId::script_invalid_obj_evt);
}

}  // namespace
