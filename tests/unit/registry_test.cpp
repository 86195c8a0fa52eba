#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

using Registry = test_support::RuntimeTest;
using test_support::raised;


using test_support::error_arg;

std::string text_of(Cell* str) {
    std::string out;
    int32_t n = string::length_from_head(str);
    for (int32_t i = 0; i < n; i++) out += char(string::char_at(str, string::head_index(str) + i));
    return out;
}

Cell* new_buffer() { return string::make_empty_at(stack::push_cell(), 16); }

struct Row {
    uint32_t id;
    const char* name;
    uint32_t parent;
    int own, inherited, empty;
};

// The registration table: 54 types in id order.
constexpr Row k_rows[] = {
    {1, "datatype!", 0, 3, 0, 59},       {2, "unset!", 0, 5, 0, 57},
    {3, "none!", 0, 11, 0, 51},          {4, "logic!", 0, 10, 0, 52},
    {5, "block!", 42, 17, 19, 26},       {6, "paren!", 5, 1, 34, 27},
    {7, "string!", 42, 15, 20, 27},      {8, "file!", 9, 6, 30, 26},
    {9, "url!", 7, 7, 27, 28},           {10, "char!", 11, 13, 4, 45},
    {11, "integer!", 0, 21, 0, 41},      {12, "float!", 0, 17, 0, 45},
    {13, "symbol!", 0, 1, 0, 61},        {14, "context!", 0, 0, 0, 62},
    {15, "word!", 13, 6, 0, 56},         {16, "set-word!", 15, 1, 5, 56},
    {17, "lit-word!", 15, 1, 5, 56},     {18, "get-word!", 15, 1, 5, 56},
    {19, "refinement!", 15, 1, 4, 57},   {20, "issue!", 15, 4, 1, 57},
    {21, "native!", 0, 5, 0, 57},        {22, "action!", 21, 4, 1, 57},
    {23, "op!", 21, 4, 1, 57},           {24, "function!", 14, 5, 0, 57},
    {25, "path!", 5, 5, 28, 29},         {26, "lit-path!", 25, 1, 32, 29},
    {27, "set-path!", 25, 1, 32, 29},    {28, "get-path!", 25, 1, 32, 29},
    {29, "routine!", 24, 3, 1, 58},      {30, "bitset!", 0, 22, 0, 40},
    {31, "triple!", 0, 2, 0, 60},        {32, "object!", 0, 10, 0, 52},
    {33, "typeset!", 0, 10, 0, 52},      {34, "error!", 32, 5, 4, 53},
    {35, "vector!", 7, 15, 25, 22},      {36, "hash!", 5, 6, 29, 27},
    {37, "pair!", 0, 20, 0, 42},         {38, "percent!", 12, 2, 15, 45},
    {39, "tuple!", 0, 19, 0, 43},        {40, "map!", 0, 14, 0, 48},
    {41, "binary!", 7, 12, 27, 23},      {42, "series!", 0, 21, 0, 41},
    {43, "time!", 12, 13, 5, 44},        {44, "tag!", 7, 2, 31, 29},
    {45, "email!", 7, 2, 31, 29},        {46, "handle!", 11, 3, 0, 59},
    {47, "date!", 0, 10, 0, 52},         {48, "port!", 32, 40, 3, 19},
    {49, "money!", 0, 18, 0, 44},        {50, "ref!", 7, 1, 29, 32},
    {51, "point2D!", 0, 17, 0, 45},      {52, "point3D!", 0, 17, 0, 45},
    {53, "image!", 42, 16, 5, 41},       {54, "event!", 0, 6, 0, 56},
};
static_assert(std::size(k_rows) == 54);

TEST_F(Registry, EveryTypeRegistersItsCountsAndName) {
    EXPECT_EQ(registry::g_top_type_id, 54u);
    for (const Row& row : k_rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(registry::type_registered(row.id));
        EXPECT_STREQ(registry::type_name(row.id), row.name);
        EXPECT_EQ(registry::g_name_table[row.id].length, std::strlen(row.name) - 1);
        EXPECT_EQ(registry::g_name_table[row.id].word, nullptr);
        const SlotEntry::Kind* kinds = registry::slot_kinds(row.id);
        int counts[3] = {};
        for (int s = 0; s < ACTION_COUNT; s++) counts[kinds[s]]++;
        EXPECT_EQ(counts[SlotEntry::OWN], row.own);
        EXPECT_EQ(counts[SlotEntry::INHERIT], row.inherited);
        EXPECT_EQ(counts[SlotEntry::EMPTY], row.empty);
    }
    EXPECT_FALSE(registry::type_registered(0));
    EXPECT_FALSE(registry::type_registered(55));
}

// The action table agrees with the slot kinds: own entries are set, empty ones
// are not, inherited ones hold the parent's entry; slots 63-256 stay empty.
TEST_F(Registry, ActionTableResolvesInheritance) {
    for (const Row& row : k_rows) {
        SCOPED_TRACE(row.name);
        const SlotEntry::Kind* kinds = registry::slot_kinds(row.id);
        for (int s = 1; s <= ACTION_COUNT; s++) {
            AnyHandler fn = registry::entry(row.id, s);
            switch (kinds[s - 1]) {
                case SlotEntry::OWN: EXPECT_NE(fn, nullptr) << "slot " << s; break;
                case SlotEntry::EMPTY: EXPECT_EQ(fn, nullptr) << "slot " << s; break;
                case SlotEntry::INHERIT:
                    ASSERT_NE(row.parent, 0u);
                    EXPECT_EQ(fn, registry::entry(row.parent, s)) << "slot " << s;
                    break;
            }
        }
        for (int i = ACTION_COUNT; i < registry::ROW; i++)
            EXPECT_EQ(registry::g_action_table[row.id * registry::ROW + i], nullptr);
    }
    // set-path and open? are empty in every type.
    for (const Row& row : k_rows) {
        EXPECT_EQ(registry::entry(row.id, A_SET_PATH), nullptr) << row.name;
        EXPECT_EQ(registry::entry(row.id, A_OPEN_Q), nullptr) << row.name;
    }
}

SlotTable all(SlotEntry::Kind kind, AnyHandler fn = nullptr) {
    SlotTable t{};
    for (int s = 1; s <= ACTION_COUNT; s++) t[s - 1] = SlotEntry{kind, fn, s};
    return t;
}

void handler_a() {}
void handler_b() {}

// Registrations change process-wide tables: the cases that register made-up
// types run in a child process.
TEST_F(Registry, InheritanceCopiesTheParentAtRegistration) {
    auto body = [] {
        registry::register_type(56, 0, "parent!", all(SlotEntry::OWN, &handler_a));
        registry::register_type(55, 56, "child!", all(SlotEntry::INHERIT));
        registry::register_type(56, 0, "parent!", all(SlotEntry::OWN, &handler_b));
        bool ok = registry::g_top_type_id == 56;
        for (int s = 1; s <= ACTION_COUNT; s++)
            ok = ok && registry::entry(55, s) == &handler_a && registry::entry(56, s) == &handler_b;
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

TEST_F(Registry, MalformedTablesStopTheProgram) {
    SlotTable misplaced = all(SlotEntry::EMPTY);
    misplaced[A_FORM - 1] = SlotEntry{SlotEntry::OWN, &handler_a, A_MOLD};
    SlotTable null_own = all(SlotEntry::EMPTY);
    null_own[0] = SlotEntry{SlotEntry::OWN, nullptr, A_MAKE};
    SlotTable orphan = all(SlotEntry::EMPTY);
    orphan[0] = inherit<A_MAKE>();
    const struct {
        const char* what;
        uint32_t type, parent;
        SlotTable table;
    } cases[] = {
        {"slot number differs from position", 55, 0, misplaced},
        {"own entry without handler", 55, 0, null_own},
        {"inherits without a parent", 55, 0, orphan},
        {"inherits from an unregistered parent", 55, 56, all(SlotEntry::INHERIT)},
        {"type id beyond the table", 57, 0, all(SlotEntry::EMPTY)},
        {"type id 0", 0, 0, all(SlotEntry::EMPTY)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EXIT(registry::register_type(c.type, c.parent, "bad!", c.table),
                    ::testing::ExitedWithCode(98), "assertion failed");
    }
}

TEST_F(Registry, NameWordsAreMadeOnceWordsExist) {
    auto body = [] {
        static Cell words[registry::TYPE_TABLE_SIZE];
        static int calls = 0;
        registry::make_name_words([](const char* name) {
            calls++;
            for (uint32_t t = 1; t < registry::TYPE_TABLE_SIZE; t++)
                if (registry::g_name_table[t].name == name) return &words[t];
            return &words[0];
        });
        bool ok = calls == 54 && registry::g_name_table[11].word == &words[11];
        // A late registration gets its word at once.
        registry::register_type(55, 0, "late!", all(SlotEntry::EMPTY));
        ok = ok && calls == 55 && registry::g_name_table[55].word == &words[55];
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

TEST_F(Registry, DatatypeFormsAndMolds) {
    const struct {
        uint32_t type;
        bool mold, all;
        const char* text;
    } cases[] = {
        {TYPE_INTEGER, false, false, "integer"},  {TYPE_INTEGER, true, false, "integer!"},
        {TYPE_INTEGER, true, true, "#(integer!)"}, {TYPE_POINT2D, false, false, "point2D"},
        {TYPE_SET_WORD, true, false, "set-word!"},
    };
    for (const auto& c : cases) {
        Cell* value = datatype::push(c.type);
        Cell* buffer = new_buffer();
        int left = c.mold ? actions::mold_direct(value, buffer, false, c.all, false, nullptr, 100, 0)
                          : actions::form_direct(value, buffer, nullptr, 100);
        EXPECT_EQ(text_of(buffer), c.text);
        EXPECT_EQ(left, 100 - int(std::strlen(c.text))) << c.text;
        stack::pop(2);
    }
}

TEST_F(Registry, DatatypeCompares) {
    Cell* integer = datatype::push(TYPE_INTEGER);
    Cell* integer2 = datatype::push(TYPE_INTEGER);
    Cell* float_ = datatype::push(TYPE_FLOAT);
    Cell none = shared_none_cell;
    for (int op : {COMP_EQUAL, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_SAME, COMP_FIND}) {
        EXPECT_EQ(actions::compare_direct(integer, integer2, op), 0) << op;
        EXPECT_EQ(actions::compare_direct(integer, float_, op), 1) << op;
        EXPECT_EQ(actions::compare_direct(integer, &none, op), 1) << op;
    }
    for (int op : {COMP_LESSER, COMP_GREATER_EQUAL, COMP_SORT, COMP_CASE_SORT})
        EXPECT_EQ(actions::compare_direct(integer, float_, op), COMPARE_UNCOMPARABLE) << op;
    EXPECT_TRUE(actions::compare(integer, integer2, COMP_EQUAL));
    EXPECT_FALSE(actions::compare(integer, float_, COMP_EQUAL));
    EXPECT_TRUE(actions::compare(integer, float_, COMP_NOT_EQUAL));
    EXPECT_EQ(raised([&] { actions::compare(integer, float_, COMP_LESSER); }),
              ErrorId::script_invalid_compare);
}

TEST_F(Registry, DatatypeMakersWriteTheTypeId) {
    Cell* pushed = datatype::push(TYPE_MONEY);
    EXPECT_EQ(pushed, stack::top());
    EXPECT_TRUE(pushed->is(TYPE_DATATYPE));
    EXPECT_EQ(pushed->data1, uint32_t(TYPE_MONEY));

    Cell* block = stack::push_cell();
    *block = make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1), 0);
    for (uint32_t t : {TYPE_INTEGER, TYPE_STRING, TYPE_EVENT}) datatype::append_to_block(block, t);
    memory::SeriesBuffer* b = memory::buffer_of(block->data2);
    ASSERT_EQ(b->used(), 3 * sizeof(Cell));
    EXPECT_EQ(b->cells()[2].data1, uint32_t(TYPE_EVENT));
    EXPECT_TRUE(b->cells()[1].is(TYPE_DATATYPE));
}

// A slot a type leaves empty raises expect-arg naming the argument's datatype.
TEST_F(Registry, EmptySlotRaisesExpectArg) {
    Cell* value = datatype::push(TYPE_INTEGER);
    Cell error{};
    EXPECT_EQ(raised([&] { actions::lookup_by_value(value, A_APPEND); }, &error),
              ErrorId::script_expect_arg);
    Cell arg2 = error_arg(error, 1);
    EXPECT_TRUE(arg2.is(TYPE_DATATYPE));
    EXPECT_EQ(arg2.data1, uint32_t(TYPE_DATATYPE));
    EXPECT_TRUE(error_arg(error, 0).is(TYPE_WORD));
}

TEST_F(Registry, TodoHandlersRaiseNotDone) {
    auto form = reinterpret_cast<SlotFnT<A_FORM>>(todo<A_FORM>().fn);
    Cell none = shared_none_cell;
    EXPECT_EQ(raised([&] { form(&none, nullptr, nullptr, 0); }), ErrorId::internal_not_done);
}

class Actions : public Registry {
protected:
    void TearDown() override { actions::set_port_actor_reader(nullptr); }
};

TEST_F(Actions, TableHasAnEntryForEverySlotButSetPath) {
    actions::init_table();
    for (int s = 1; s <= ACTION_COUNT; s++)
        EXPECT_EQ(actions::g_dispatch_table[s - 1] == nullptr, s == A_SET_PATH) << s;
}

TEST_F(Actions, IndexArgumentByType) {
    const struct {
        Cell index;
        int32_t expected;
    } cases[] = {
        {make_cell(TYPE_INTEGER, 0, uint32_t(-7)), -7}, {make_cell(TYPE_CHAR, 0, 0x41), 0x41},
        {logic::make_value(true), 1},                   {logic::make_value(false), 2},
        {shared_none_cell, 0},
    };
    for (const auto& c : cases) {
        stack::reset();
        stack::push(&shared_none_cell);
        stack::push(&c.index);
        EXPECT_EQ(actions::index_argument(), c.expected) << c.index.type();
    }
}

Cell make_path(uint32_t type, uint32_t n) {
    NodeId node = memory::alloc_cells(n);
    memory::SeriesBuffer* b = memory::buffer_of(node);
    for (uint32_t i = 0; i < n; i++) b->cells()[i] = make_cell(TYPE_INTEGER, 0, i + 10);
    b->tail = n * sizeof(Cell);
    return make_cell(type, 0, node, 0);
}

TEST_F(Actions, PathLookupRaisesPathErrors) {
    // Raising puts the error in slot 0 of the stack: keep the values off it.
    Cell true_ = shared_true_cell, none = shared_none_cell;
    Cell* value = &true_;  // logic! has no path access
    Cell* element = &none;
    Cell error{};
    EXPECT_EQ(raised([&] { actions::lookup_or_error(value, A_EVAL_PATH, nullptr, element, 0); },
                     &error),
              ErrorId::script_bad_path_type2);
    EXPECT_TRUE(error_arg(error, 0).is(TYPE_NONE));
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_LOGIC));

    for (uint32_t position : {1u, 5u}) {  // cut after element 1; past the end keeps all
        Cell path = make_path(TYPE_GET_PATH, 3);
        Cell* path_cell = stack::push(&path);
        EXPECT_EQ(raised([&] { actions::lookup_or_error(value, A_EVAL_PATH, path_cell, element,
                                                        int(position)); },
                         &error),
                  ErrorId::script_bad_path_type);
        Cell cut = error_arg(error, 2);
        ASSERT_TRUE(cut.is(TYPE_GET_PATH));
        memory::SeriesBuffer* b = memory::buffer_of(cut.data2);
        uint32_t expected = position == 1 ? 2 : 3;
        ASSERT_EQ(b->used(), expected * sizeof(Cell));
        EXPECT_NE(cut.data2, path.data2);
        EXPECT_EQ(b->head_cell()[expected - 1].data2, 10 + expected - 1);
    }
    EXPECT_EQ(actions::lookup_or_error(value, A_FORM, nullptr, element, 0),
              registry::entry(TYPE_LOGIC, A_FORM));
}

void native_write() {}

TEST_F(Actions, NativePortActorServesSeriesAndPortSlots) {
    static AnyHandler table[ACTION_COUNT - A_APPEND + 1];
    table[A_WRITE - A_APPEND] = &native_write;
    Cell port = make_cell(TYPE_PORT, 1, 0, 0);  // word 1 = 1: a native actor
    actions::set_port_actor_reader(
        [](const Cell* p) -> const AnyHandler* { return p->data1 == 1 ? table : nullptr; });
    EXPECT_EQ(actions::lookup_by_value(&port, A_WRITE), &native_write);
    EXPECT_EQ(raised([&] { actions::lookup_by_value(&port, A_READ); }),
              ErrorId::access_no_port_action);
    EXPECT_EQ(actions::lookup_by_value(&port, A_FORM), registry::entry(TYPE_PORT, A_FORM));
    port.data1 = 0;  // an object actor: the port! row serves every slot
    EXPECT_EQ(actions::lookup_by_value(&port, A_READ), registry::entry(TYPE_PORT, A_READ));
}

}  // namespace
