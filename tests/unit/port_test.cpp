// port!: making ports from a spec and a scheme, and the actions that go to
// the scheme's actor, written in Zun here.
#include "datatypes/port.hpp"

#include "tests/unit/eval_fixture.hpp"

namespace zun {
namespace {

using eval_test::g_notes;
using test_support::raised;

// A provider in place of system/schemes: the global word schemes of the test.
const Cell* test_schemes() {
    static Cell schemes;
    schemes = *word::get_value(word::make_global("schemes"));
    return &schemes;
}

// Each actor function notes what it got (note is the fixture's recorder).
const char* const ACTOR = R"(
    test-actor: make object! [
        swap: func [port other] [note reduce ['swap other] 'swapped]
        sort: func [port /case /skip size /compare comparator /part length /all /reverse /stable] [
            note reduce ['sort case skip size compare comparator part length all reverse stable]
            'sorted
        ]
        append: func [port value /part length /only /dup count] [
            note reduce [value part length only dup count]
            port
        ]
        at: func [port index] [note reduce ['at index] index * 10]
        length?: func [port] [note 'length? 42]
        open: func [port /new /read /write /seek /allow access] [
            note reduce ['open new read write seek allow access]
            port/state: 'open
        ]
        copy: func [port /part length /deep /types kind] [
            note reduce ['copy part length deep types kind]
            "data"
        ]
        insert: func [port value /part length /only /dup count] [
            note reduce ['insert value part length only dup count]
        ]
        close: func [port] [note 'close port/state: 'closed]
        pick: func [port index] [throw index]
    ]
    system: make object! [
        schemes: reduce [
            'test make object! [name: 'test title: "Test" info: none actor: test-actor awake: none]
            'broken make object! [name: 'broken title: none info: none actor: 1 awake: none]
        ]
    ]
    p: make port! [scheme: 'test host: "example.org"]
)";

class Port : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        run(ACTOR);
        g_notes.clear();
    }
    void TearDown() override {
        port::set_schemes_provider(nullptr);
        EvalTest::TearDown();
    }
    // The notes the code left, one per actor call.
    std::vector<std::string> notes_of(const char* code) {
        g_notes.clear();
        run(code);
        return g_notes;
    }
};

TEST_F(Port, MakeFillsSpecSchemeAndActor) {
    EXPECT_EQ(run("type? p"), "port!");
    EXPECT_EQ(run("p/spec/host"), "\"example.org\"");
    EXPECT_EQ(run("p/scheme"), "test");
    EXPECT_EQ(run("same? p/actor test-actor"), "true");
    EXPECT_EQ(run("p/state"), "none");
    // An object spec is taken as it is.
    EXPECT_EQ(run("q: make port! make object! [scheme: 'test x: 1] q/spec/x"), "1");
    // reflect and paths work as on any object.
    EXPECT_EQ(run("reflect p 'words"), "[spec scheme actor awake state data extra]");
    EXPECT_EQ(run("p/data: 5 p/data"), "5");
}

TEST_F(Port, MakeErrors) {
    const struct {
        const char* code;
        ErrorId id;
    } cases[] = {
        {"make port! [host: \"x\"]", ErrorId::access_no_scheme},
        {"make port! [scheme: \"test\"]", ErrorId::access_no_scheme},
        {"make port! [scheme: 'nowhere]", ErrorId::access_unknown_scheme},
        {"make port! [scheme: 'broken]", ErrorId::access_invalid_actor},
        {"make port! 12", ErrorId::syntax_malconstruct},
    };
    for (const auto& c : cases) EXPECT_EQ(fails(c.code), c.id) << c.code;
    Cell error;
    ASSERT_EQ(fails("make port! [scheme: 'nowhere host: 1]", &error),
              ErrorId::access_unknown_scheme);
    EXPECT_EQ(error_arg(error, 0), "[scheme: 'nowhere host: 1]");
}

TEST_F(Port, SchemesComeFromTheProvider) {
    port::set_schemes_provider(test_schemes);
    EXPECT_EQ(fails("make port! [scheme: 'test]"), ErrorId::access_unknown_scheme);
    run("schemes: make object! [test: pick system/schemes 2]");
    EXPECT_EQ(run("q: make port! [scheme: 'test] same? test-actor q/actor"), "true");
    port::set_schemes_provider(nullptr);
    run("system: none");
    EXPECT_EQ(fails("make port! [scheme: 'test]"), ErrorId::access_unknown_scheme);
}

TEST_F(Port, ActionsGoToTheActorFunctionOfTheirName) {
    EXPECT_EQ(run("swap p [1]"), "swapped");
    EXPECT_EQ(g_notes, std::vector<std::string>{"[swap [1]]"});
    EXPECT_EQ(notes_of("sort/skip/reverse p 2"),
              std::vector<std::string>{"[sort false true 2 false none false none false true false]"});
    EXPECT_EQ(run("at p 3"), "30");
    EXPECT_EQ(run("length? p"), "42");
}

TEST_F(Port, AppendPassesItsRefinementsAsFlagsAndValues) {
    const struct {
        const char* code;
        const char* note;
    } cases[] = {
        {"append p 5", "[5 false none false false none]"},
        {"append/only p [1 2]", "[[1 2] false none true false none]"},
        {"append/part p \"abc\" 2", "[\"abc\" true 2 false false none]"},
        {"append/part p \"abc\" 2.7", "[\"abc\" true 2 false false none]"},
        {"append/dup/part p 'x 3 1", "[x true 1 false true 3]"},
        {"append/part p \"abc\" 0", "[\"abc\" true 0 false false none]"},
        {"append/dup p 1 0", "[1 false none false true 0]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(notes_of(c.code), std::vector<std::string>{c.note}) << c.code;
        EXPECT_EQ(run(("same? p " + std::string(c.code)).c_str()), "true") << c.code;
    }
}

TEST_F(Port, MissingActorFunctionOrActor) {
    EXPECT_EQ(fails("query p"), ErrorId::access_no_port_action);
    EXPECT_EQ(fails("head p"), ErrorId::access_no_port_action);
    Cell error;
    EXPECT_EQ(fails("q: make port! [scheme: 'test] q/actor: 1 length? q", &error),
              ErrorId::access_invalid_port);
    EXPECT_EQ(fails("q/actor: make object! [length?: 3] length? q"),
              ErrorId::access_no_port_action);
}

TEST_F(Port, ReadAndWriteAreOpenCopyOrInsertAndClose) {
    EXPECT_EQ(notes_of("read p"),
              (std::vector<std::string>{"[open false false false false false none]",
                                        "[copy false none false false none]", "close"}));
    EXPECT_EQ(run("read p"), "\"data\"");
    EXPECT_EQ(run("p/state"), "closed");
    // Already open: open is called again all the same.
    EXPECT_EQ(notes_of("open p read/part p 4.5"),
              (std::vector<std::string>{"[open false false false false false none]",
                                        "[open false false false false false none]",
                                        "[copy true 4 false false none]", "close"}));
    EXPECT_EQ(notes_of("write/part p \"xyz\" 2"),
              (std::vector<std::string>{"[open false false true false false none]",
                                        "[insert \"xyz\" true 2 false false none]", "close"}));
    EXPECT_EQ(run("same? p write p 1"), "true");
}

TEST_F(Port, StatusesLeaveTheActor) {
    EXPECT_EQ(run("catch [pick p 7 8]"), "7");
}

TEST_F(Port, FormAndMoldWriteTheFields) {
    std::string molded = eval_test::mold(global("p"));
    EXPECT_EQ(molded.rfind("make port! [\n    spec: make object! [\n        scheme: 'test\n", 0), 0u)
        << molded;
    EXPECT_NE(molded.find("\n    ]\n    scheme: 'test\n    actor: make object! [\n"),
              std::string::npos)
        << molded;
    EXPECT_EQ(molded.substr(molded.size() - 18), "\n    extra: none\n]");
    EXPECT_EQ(run("equal? form p mold p"), "true");
    EXPECT_EQ(run("equal? mold/only p mold p"), "true");
    // Nested, the closing bracket takes the indentation of its level.
    EXPECT_EQ(run("o: make object! [q: p] (skip tail mold o -27) = {        extra: none^/    ]^/]}"),
              "true");
    // A port inside itself is cut short.
    EXPECT_NE(run("p/state: p mold p").find("state: make port! [...]"), std::string::npos);
}

// Runtime code calling an action on a port directly reaches the same actor.
TEST_F(Port, DirectFormsForward) {
    Cell port = global("p");
    Cell* p = stack::push(&port);
    Cell value = integer_cell(9);
    Cell* v = stack::push(&value);
    g_notes.clear();
    actions::append_direct(p, v, 2, false, 1, true);
    EXPECT_EQ(g_notes, std::vector<std::string>{"[9 true 2 false false none]"});
    Cell* result = actions::read_direct(p, nullptr, nullptr, false, false, false, nullptr);
    EXPECT_EQ(eval_test::mold(*result), "\"data\"");
    EXPECT_EQ(actions::length_q_direct(p), 42);
}

// A native actor: a table of handlers that the dispatcher calls itself.
Cell g_answer;
Cell* native_query(Cell*) { return &g_answer; }

TEST_F(Port, NativeActorServesItsOwnTable) {
    static AnyHandler table[port::NATIVE_ACTOR_SLOTS] = {};
    table[A_QUERY - A_APPEND] = reinterpret_cast<AnyHandler>(&native_query);
    g_answer = integer_cell(77);
    set_global("native-actor", port::native_actor_handle(port::register_native_actor(table)));
    run("system/schemes/2/actor: :native-actor n: make port! [scheme: 'test]");
    EXPECT_EQ(run("query n"), "77");
    EXPECT_EQ(fails("length? n"), ErrorId::access_no_port_action);
    EXPECT_EQ(run("type? n/actor"), "handle!");
}

}  // namespace
}  // namespace zun
