// map! and hash!: making, path access, put, find and select, remove, copy,
// reflect, compare and mold, run from source text.
#include <gtest/gtest.h>

#include <string>

#include "datatypes/series/map.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;

namespace {

using eval_test::Case;

class Map : public eval_test::EvalTest {};
class Hash : public eval_test::EvalTest {};

// The fixture's helpers are protected; the cases reach them through this.
struct Runner : eval_test::EvalTest {
    using EvalTest::fails;
    using EvalTest::run;
};

void run_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(Runner::run(c.code), c.molded) << c.code;
}

TEST_F(Map, MakeAndTo) {
    for (const Case& c : std::vector<Case>{
             {"mold/flat make map! [a 1 b 2]", "\"#[a: 1 b: 2]\""},
             {"mold/flat make map! [a 1 b 2 a 3]", "\"#[a: 3 b: 2]\""},
             {"length? make map! [a 1 b 2 a 3]", "2"},
             {"mold/flat make map! to paren! [x 1]", "\"#[x: 1]\""},
             {"mold/flat make map! make hash! [k v]", "\"#[k: v]\""},
             {"mold make map! 10", "\"#[]\""},
             {"mold make map! 0", "\"#[]\""},
             {"mold/flat to map! [a 1]", "\"#[a: 1]\""},
             {"m: make map! [a 1] n: make map! m n/a: 2 m/a", "1"},
             {"mold/flat make map! [\"s\" 1 3 4 1.5 5 #\"c\" 6]",
              "{#[\"s\" 1 3 4 1.5 5 #\"c\" 6]}"},
             {"mold/flat make map! ['a 1 :b 2 c: 3]", "\"#[a: 1 b: 2 c: 3]\""},
         })
        EXPECT_EQ(Runner::run(c.code), c.molded) << c.code;
}

TEST_F(Map, MakeErrors) {
    struct Fail {
        const char* code;
        ErrorId id;
    };
    for (const Fail& f : std::vector<Fail>{
             {"make map! [a 1 b]", ErrorId::script_invalid_arg},
             {"make map! -1", ErrorId::script_out_of_range},
             {"to map! 3", ErrorId::script_bad_to_arg},
             {"make map! \"x\"", ErrorId::script_bad_to_arg},
             {"make map! [[1] 2]", ErrorId::script_invalid_path},
             {"m: make map! [] m/([1]): 2", ErrorId::script_invalid_path},
             {"remove make map! [a 1]", ErrorId::script_missing_arg},
             {"reflect make map! [a 1] 'spec", ErrorId::internal_not_done},
         })
        EXPECT_EQ(Runner::fails(f.code), f.id) << f.code;
}

TEST_F(Map, PathPutFindSelectRemove) {
    run_cases({
        {"m: make map! [a 1] m/a", "1"},
        {"m: make map! [a 1] m/b", "none"},
        {"m: make map! [a 1] m/b: 2 m/b", "2"},
        {"m: make map! [a 1] m/a: none length? m", "1"},
        {"m: make map! [a 1] m/a: none find m 'a", "a"},
        {"m: make map! [a 1] put m 'c 3", "3"},
        {"m: make map! [a 1] put m 'c 3 mold/flat m", "\"#[a: 1 c: 3]\""},
        {"m: make map! [a 1] select m 'a", "1"},
        {"m: make map! [a 1] select m 'z", "none"},
        {"m: make map! [a 1] find m 'z", "none"},
        {"m: make map! [a 1 b 2] remove/key m 'a length? m", "1"},
        {"m: make map! [a 1 b 2] remove/key m 'a select m 'a", "none"},
        {"m: make map! [a 1 b 2] remove/key m 'a m/a", "none"},
        {"m: make map! [a 1 b 2] remove/key m 'a mold/flat m", "\"#[b: 2]\""},
        {"m: make map! [a 1 b 2] remove/key m 'a m/a: 5 mold/flat m", "\"#[a: 5 b: 2]\""},
        {"m: make map! [a 1 b 2] remove/key m 'a m/a: 5 length? reflect m 'body", "4"},
        {"m: make map! [a 1] remove/key m 'zz length? m", "1"},
        {"m: make map! [\"Ab\" 1] select m \"ab\"", "1"},
        {"m: make map! [\"Ab\" 1] select/case m \"ab\"", "none"},
        {"m: make map! [\"Ab\" 1] put/case m \"ab\" 2 length? m", "2"},
        {"m: make map! [\"Ab\" 1] put m \"ab\" 2 length? m", "1"},
        {"m: make map! [\"Ab\" 1] remove/key m \"ab\" length? m", "1"},
        {"m: make map! [\"Ab\" 1] remove/key m \"Ab\" length? m", "0"},
        {"m: make map! [a 1] m/A", "1"},
        {"s: \"k\" m: make map! reduce [s 1] append s \"x\" select m \"k\"", "1"},
        {"m: make map! [a 1 b 2] length? clear m", "0"},
        {"m: make map! [a 1 b 2] clear m m/a: 3 mold/flat m", "\"#[a: 3]\""},
    });
}

TEST_F(Map, Reflect) {
    run_cases({
        {"reflect make map! [a 1 \"s\" 2] 'words", "[a \"s\"]"},
        {"reflect make map! [a 1 \"s\" 2] 'values", "[1 2]"},
        {"reflect make map! [a 1 b 2] 'body", "[\n    a: 1\n    b: 2\n]"},
        {"m: make map! [a 1 b 2] remove/key m 'a reflect m 'words", "[b]"},
    });
}

TEST_F(Map, CopyAndCompare) {
    run_cases({
        {"m: make map! [a [1]] n: copy m append n/a 2 m/a", "[1 2]"},
        {"m: make map! [a [1]] n: copy/deep m append n/a 2 m/a", "[1]"},
        {"m: make map! [a 1] n: copy m n/b: 2 length? m", "1"},
        {"m: make map! [a \"x\"] n: copy/types m string! append n/a \"y\" m/a", "\"x\""},
        {"equal? make map! [a 1 b 2] make map! [b 2 a 1]", "true"},
        {"equal? make map! [a 1 b 2] make map! [a 1]", "false"},
        {"equal? make map! [a 1] make map! [a 2]", "false"},
        {"equal? make map! [] make map! []", "true"},
        {"equal? make map! [\"a\" 1] make map! [\"A\" 1]", "true"},
        {"strict-equal? make map! [\"a\" 1] make map! [\"A\" 1]", "false"},
        {"m: make map! [a 1] same? m m", "true"},
        {"same? make map! [a 1] make map! [a 1]", "false"},
        {"equal? make map! [a 1] [a 1]", "false"},
    });
}

TEST_F(Map, MoldAndForm) {
    run_cases({
        {"mold make map! [a 1 b 2]", "{#[^/    a: 1^/    b: 2^/]}"},
        {"mold/flat make map! [a 1 b 2]", "\"#[a: 1 b: 2]\""},
        {"mold/only make map! [a 1 b 2]", "\"a: 1^/b: 2\""},
        {"form make map! [a 1 b \"x\"]", "{a: 1^/b: \"x\"}"},
        {"mold reduce [make map! [a 1]]", "\"[#[^/    a: 1^/]]\""},
        {"n: make map! [] n/k: make map! [a 1] mold n",
         "{#[^/    k: #[^/        a: 1^/    ]^/]}"},
        {"m: make map! [a 1] m/b: m mold/flat m", "\"#[a: 1 b: #[...]]\""},
        {"m: make map! [a 1 b 2] remove/key m 'b mold/flat m", "\"#[a: 1]\""},
        {"mold make map! [a: 1]", "\"#[^/    a: 1^/]\""},
        {"length? make map! [a: 1 b: 2]", "2"},
    });
}

TEST_F(Map, ValidKeyTypes) {
    for (uint32_t type : {TYPE_STRING, TYPE_WORD, TYPE_INTEGER, TYPE_DATE, TYPE_POINT3D})
        EXPECT_TRUE(map::valid_key_type_q(type)) << type;
    for (uint32_t type : {TYPE_BLOCK, TYPE_NONE, TYPE_LOGIC, TYPE_OBJECT, TYPE_MAP})
        EXPECT_FALSE(map::valid_key_type_q(type)) << type;
}

TEST_F(Hash, MakeToCopyMold) {
    run_cases({
        {"mold make hash! [a 1 b 2]", "\"make hash! [a 1 b 2]\""},
        {"select make hash! [a 1 b 2] 'b", "2"},
        {"h: to hash! to paren! [x y z] select h 'y", "z"},
        {"type? to hash! to paren! [x y z]", "hash!"},
        {"h: make hash! 10 append h [p q] select h 'p", "q"},
        {"h: make hash! [a 1] c: copy h append c [b 2] select h 'b", "none"},
        {"h: make hash! [a 1] c: copy h append c [b 2] select c 'b", "2"},
        {"type? copy/deep make hash! [a [1]]", "hash!"},
        {"h: make hash! [a 1 b 2] select copy next h 'b", "2"},
        {"h: make hash! [a 1] c: make hash! h append c [b 2] select c 'b", "2"},
        {"h: to hash! make map! [a 1] select h 'a", "1"},
        {"h: make hash! [c b a] sort h select h 'a", "b"},
        {"h: make hash! [c none b] trim h find h 'b", "make hash! [b]"},
        {"mold/only make hash! [1 2]", "\"1 2\""},
    });
}

TEST_F(Hash, RandomIsNotSupported) {
    EXPECT_NE(Runner::fails("random make hash! [1 2 3]"), ErrorId::count_);
}

}  // namespace
