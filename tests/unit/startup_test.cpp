#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "core/runtime.hpp"
#include "datatypes/float.hpp"
#include "services/os_info.hpp"
#include "startup/fatal_signals.hpp"
#include "startup/routines.hpp"
#include "startup/system_object.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;

namespace {

// A runtime with the routines and the start-up system object, as init makes
// them before the library loads.
class Startup : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        const char* argv[] = {"/opt/zun", "script.zun", "a b"};
        system_object::set_command_line(3, argv);
        routines::bind_all();
        boot_values::bind_operators();
        system_object::prepare();
    }
    void TearDown() override {
        float_::g_pretty = true;
        system_object::set_command_line(0, nullptr);
        EvalTest::TearDown();
    }
};

TEST(FatalSignals, FaultsMapToTheirRuntimeErrors) {
    struct Case {
        int signal, code;
        bool overflow;
        int number;
        const char* message;
    } cases[] = {
        {SIGSEGV, SEGV_MAPERR, false, 1, "access violation"},
        {SIGSEGV, SEGV_ACCERR, false, 1, "access violation"},
        {SIGSEGV, SEGV_MAPERR, true, 19, "stack error or overflow"},
        {SIGFPE, FPE_INTDIV, false, 13, "integer divide by zero"},
        {SIGFPE, FPE_INTOVF, false, 14, "integer overflow"},
        {SIGFPE, FPE_FLTDIV, false, 7, "float divide by zero"},
        {SIGFPE, FPE_FLTINV, false, 9, "float invalid operation"},
        {SIGFPE, SI_USER, false, 33, "FPU error"},
        {SIGILL, ILL_ILLOPC, false, 17, "illegal instruction"},
        {SIGILL, ILL_PRVOPC, false, 15, "privileged instruction"},
        {SIGILL, ILL_ILLOPN, false, 23, "illegal operand"},
        {SIGBUS, BUS_ADRALN, false, 2, "invalid alignment"},
        {SIGBUS, BUS_ADRERR, false, 27, "non-existent physical address"},
        {SIGBUS, SI_TKILL, false, 34, "Bus error"},
    };
    for (const Case& c : cases) {
        const int number = fatal_signals::error_number(c.signal, c.code, c.overflow);
        EXPECT_EQ(number, c.number) << c.signal << " " << c.code;
        EXPECT_STREQ(runtime::error_message(number), c.message);
    }
}

TEST_F(Startup, SystemObjectPiecesFilledByStartUp) {
    EXPECT_EQ(run("system/version"), "\"0.1.0\"");
    EXPECT_EQ(run("system/options/boot"), "\"/opt/zun\"");
    EXPECT_EQ(run("system/options/args"), "[\"script.zun\" \"a b\"]");
    EXPECT_EQ(run("system/script/args"), "{/opt/zun script.zun \"a b\"}");
    EXPECT_EQ(run("reduce [system/state/GC/active? integer? system/state/GC/series-cycles]"),
              "[true true]");
    // system/words is the global context seen as an object, its owner too.
    EXPECT_EQ(run("same? :append get in system/words 'append"), "true");
    const Cell words = global("system");
    const Cell* field = object::select_word(&words, word::make_global("words"));
    EXPECT_EQ(field->data1, context::global());
    EXPECT_EQ(field->data2, 0xFFFFFFFFu);
    EXPECT_EQ(context::owner_of(context::global())->data1, context::global());
}

TEST_F(Startup, DatatypesReadTheLiveSystemObject) {
    EXPECT_EQ(system_data::options_money_digits()->as_int(), 2);
    run("system/options/money-digits: 4");
    EXPECT_EQ(system_data::options_money_digits()->as_int(), 4);
    EXPECT_EQ(run("form $1.5"), "\"$1.5000\"");
    // A piece of the wrong type, or a system object without it, leaves the
    // start-up one in force.
    run("system/options/money-digits: \"x\"");
    EXPECT_EQ(system_data::options_money_digits()->as_int(), 2);
    run("system: none");
    EXPECT_TRUE(system_data::catalog_errors()->is(TYPE_OBJECT));
    EXPECT_EQ(fails("1 / 0"), ErrorId::math_zero_divide);
}

TEST_F(Startup, RoutinesCheckTheirArgumentsBeforeRunning) {
    Cell error;
    EXPECT_EQ(fails("as-color 1 2 \"3\"", &error), ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 0), "as-color");
    EXPECT_EQ(error_arg(error, 2), "b");
    EXPECT_EQ(fails("exists? \"/tmp\""), ErrorId::script_expect_arg);
    EXPECT_EQ(fails("as-rgba 1 2 3 -4", &error), ErrorId::script_invalid_arg);
    EXPECT_EQ(error_arg(error, 0), "-4");
    EXPECT_EQ(run("routine? :exists?"), "true");
}

}  // namespace
