#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <string>

#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"
#include "startup/system_data.hpp"

using namespace zun;

namespace {

class SystemData : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        object::init_class_ids();
        system_data::init();
        object::end_startup_classes();
    }

    static std::string name_of(uint32_t symbol) { return std::string(symbol::name(symbol)); }
    // The field names of an object, space-separated.
    static std::string fields_of(const Cell& object) {
        std::string out;
        for (uint32_t i = 0; i < object::field_count(&object); i++)
            out += (i ? " " : "") + name_of(object::word_at(object.data1, i)->data2);
        return out;
    }
    static Cell field(const Cell& object, const char* name) {
        Cell w = make_cell(TYPE_WORD, 0, symbol::make(name), context::NO_INDEX);
        return *object::select_word(&object, &w);
    }
    static std::string text_of(const Cell& str) {
        std::string out;
        for (int32_t i = 0; i < string::length_from_start(&str); i++) out += char(string::char_at(&str, i));
        return out;
    }
    static std::string molded(Cell value) {
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        actions::mold_direct(&value, buffer, false, false, true, nullptr, 100000, 0);
        std::string text = text_of(*buffer);
        stack::pop(1);
        return text;
    }
};

TEST_F(SystemData, CatalogueCategoriesInOrderWithCodesTitlesAndIds) {
    const Cell errors = *system_data::catalog_errors();
    EXPECT_EQ(fields_of(errors),
              "throw note syntax script math access reserved1 reserved2 user internal");
    struct Case {
        const char* title;
        uint32_t ids;
    } cases[] = {
        {"Throw Error", 5},     {"note", 1},           {"Syntax Error", 7},    {"Script Error", 94},
        {"Math Error", 3},      {"Access Error", 16},  {"Reserved1 Error", 0}, {"Reserved2 Error", 0},
        {"User Error", 1},      {"Internal Error", 14},
    };
    for (uint32_t c = 0; c < 10; c++) {
        const Cell category = object::values_base(&errors)[c];
        ASSERT_TRUE(category.is(TYPE_OBJECT));
        EXPECT_EQ(object::field_count(&category), 2 + cases[c].ids) << c;
        EXPECT_EQ(field(category, "code").as_int(), int32_t(c * 100));
        EXPECT_EQ(text_of(field(category, "type")), cases[c].title);
        EXPECT_EQ(fields_of(category).substr(0, 10), "code type" + std::string(cases[c].ids ? " " : ""));
    }
}

// The C++ table and the catalogue objects come from one file: every id sits
// at the field its code gives.
TEST_F(SystemData, CatalogueAgreesWithTheErrorTable) {
    const Cell errors = *system_data::catalog_errors();
    for (uint32_t e = 0; e < uint32_t(ErrorId::count_); e++) {
        const ErrorInfo& info = error_info(ErrorId(e));
        const Cell category = object::values_base(&errors)[info.code / 100];
        uint32_t i = info.code % 100 + 2;
        EXPECT_EQ(name_of(object::word_at(category.data1, i)->data2), info.id_name) << info.code;
    }
}

TEST_F(SystemData, TemplatesKeepTheirNotation) {
    const Cell errors = *system_data::catalog_errors();
    struct Case {
        const char *category, *id, *mold;
    } cases[] = {
        {"throw", "break", "\"no loop to break\""},
        {"script", "expect-arg", "[:arg1 \"does not allow\" :arg2 \"for its\" :arg3 \"argument\"]"},
        {"internal", "bad-path", "[\"bad path:\" arg1]"},
        {"user", "message", "'arg1"},
        {"note", "no-load", "[\"cannot load: \" :arg1]"},
    };
    for (const Case& c : cases) EXPECT_EQ(molded(field(field(errors, c.category), c.id)), c.mold);
}

TEST_F(SystemData, StandardPrototypesHaveTheirFieldsInOrder) {
    EXPECT_EQ(fields_of(*system_data::standard()), "header port error file-info url-parts scheme");
    EXPECT_EQ(fields_of(*system_data::standard_error()),
              "code type id arg1 arg2 arg3 near where stack files");
    EXPECT_EQ(fields_of(*system_data::standard_port()), "spec scheme actor awake state data extra");
    EXPECT_EQ(fields_of(*system_data::standard_url_parts()),
              "scheme user-info host port path target query fragment ref");
    Cell header = field(*system_data::standard(), "header");
    EXPECT_EQ(object::field_count(&header), 20u);
    const Cell error = *system_data::standard_error();
    for (uint32_t i = 0; i < object::field_count(&error); i++)
        EXPECT_TRUE(object::values_base(&error)[i].is(TYPE_NONE));
}

TEST_F(SystemData, LocaleAndOptions) {
    const Cell months = *system_data::locale_months();
    ASSERT_EQ(block::length_from_head(&months), 12);
    EXPECT_EQ(text_of(*block::cell_at(&months, 0)), "January");
    EXPECT_EQ(text_of(*block::cell_at(&months, 11)), "December");

    const Cell list = *system_data::currency_list();
    ASSERT_EQ(block::length_from_head(&list), 170);
    struct Code {
        int32_t at;
        const char* name;
    } codes[] = {{0, "AED"}, {3, "AMD"}, {13, "BTC"}, {122, "ZUN"}, {161, "CFA"}, {169, "ZMW"}};
    for (const Code& c : codes) EXPECT_EQ(name_of(block::cell_at(&list, c.at)->data2), c.name);
    for (int32_t i = 0; i < 170; i++) {
        EXPECT_TRUE(block::cell_at(&list, i)->is(TYPE_WORD));
        EXPECT_EQ(name_of(block::cell_at(&list, i)->data2).size(), 3u);
    }
    EXPECT_EQ(fields_of(*system_data::locale_currencies()), "list on-change* on-deep-change*");

    EXPECT_EQ(system_data::options_money_digits()->as_int(), 2);
    EXPECT_EQ(molded(*system_data::options_float()),
              "make object! [pretty?: true full?: false]");  // on-change* left out of mold
    EXPECT_EQ(fields_of(*system_data::options_float()), "pretty? full? on-change*");
}

// Start-up objects take start-up ids in definition order (nested first);
// the first object a script makes gets the first run-time id.
TEST_F(SystemData, StartUpObjectsTakeStartUpClassIds) {
    const Cell errors = *system_data::catalog_errors();
    uint32_t first = object::values_base(&errors)[0].data2;
    EXPECT_EQ(first, object::START_UP_CLASS_BASE + 1);
    EXPECT_EQ(errors.data2, first + 10);
    EXPECT_LT(system_data::standard()->data2, object::RUN_TIME_CLASS_BASE);
    EXPECT_LT(system_data::standard_error()->data2, system_data::standard()->data2);
    EXPECT_EQ(object::new_class_id(), object::RUN_TIME_CLASS_BASE + 1);
}

TEST_F(SystemData, TheReaderKnowsTheDataNotation) {
    const char* text = "a: [1 -2 \"s^\"q^/\" [:b 'c /d]] ; comment\n e";
    Cell* blk = system_data::load(text, std::strlen(text));
    EXPECT_EQ(block::length_from_head(blk), 3);
    EXPECT_EQ(molded(*blk), "[a: [1 -2 {s\"q^/} [:b 'c /d]] e]");
}

TEST_F(SystemData, ReadyOnlyOnTheRuntimeThatBuiltIt) {
    EXPECT_TRUE(system_data::ready());
    memory::init();
    cycles::init();
    stack::init();
    symbols::init();
    EXPECT_FALSE(system_data::ready());
}

}  // namespace
