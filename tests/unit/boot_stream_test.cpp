// The embedded boot stream: start-up reads every text from it and lexes
// none, and its global words come out as a lexing start-up makes them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "startup/boot_texts.hpp"
#include "startup/init.hpp"
#include "startup/library.hpp"
#include "startup/script.hpp"
#include "tools/zunboot_compare.hpp"

namespace zun {
namespace {

#include "boot_stream.inc"
#include "boot_stream_keys.inc"

void use_stream() { boot_texts::set_stream(boot_stream, boot_stream_size, boot_stream_keys, boot_stream_keys_size); }

// The block of the text's values, pushed.
Cell* lex(const uint8_t* text, size_t size) {
    Cell* lexed = stack::push_cell();
    *lexed = make_cell(TYPE_NONE);
    uint32_t consumed = 0;
    lexer::transcode(lexed, text, uint32_t(size), lexer::Options{}, &consumed);
    return lexed;
}
Cell* lex(const char* text) { return lex(reinterpret_cast<const uint8_t*>(text), std::strlen(text)); }

// Every text start-up reads, the library modules included, comes from the
// stream: the lexer's one call is the library's own `load system/version`
// of the version text start-up put there.
TEST(BootStream, StartUpScansNoText) {
    use_stream();
    const uint32_t lexed = boot_texts::lexed_count();
    const uint32_t scans = lexer::scan_count();
    startup::init_runtime();
    startup::read_startup_texts();
    EXPECT_EQ(boot_texts::lexed_count(), lexed);
    EXPECT_EQ(lexer::scan_count() - scans, 1u);
    boot_texts::set_stream(nullptr, 0);
}

// Each module's value in the stream is its text as the lexer reads it now,
// decoded when it is asked for: the later modules are not live yet.
TEST(BootStream, LibraryModulesAreTheirTextsAsLexed) {
    use_stream();
    startup::init_runtime();
    ASSERT_GT(library::module_count(), 0u);
    uint32_t decoded = 0;
    for (uint32_t i = 0; i < library::module_count(); i++) {
        stack::StackScope scope;
        size_t size = 0;
        const uint8_t* text = library::module_text(i, &size);
        const uint32_t scans = lexer::scan_count();
        Cell* loaded = stack::push_cell();
        *loaded = make_cell(TYPE_NONE);
        boot_texts::load(loaded, text, size);
        EXPECT_EQ(lexer::scan_count(), scans) << library::module_name(i) << " was not in the stream";
        if (i > 0) EXPECT_EQ(boot_texts::decoded_count(), decoded + 1) << library::module_name(i);
        decoded = boot_texts::decoded_count();
        const Cell* lexed = lex(text, size);
        std::string why;
        EXPECT_TRUE(zunboot::same(*loaded, *lexed, why)) << library::module_name(i) << ": " << why;
    }
    boot_texts::set_stream(nullptr, 0);
}

// The boot tool's check fails the build on any of these differences.
TEST(BootStream, ToolCheckSeesEveryKindOfDifference) {
    boot_texts::set_stream(nullptr, 0);
    startup::init_runtime();
    struct Pair {
        const char* a;
        const char* b;
    };
    const Pair differ[] = {
        {"[a b]", "[a\nb]"},       {"[a b]", "[a c]"},     {"[a b]", "[a b c]"},
        {"[\"ab\"]", "[\"ac\"]"}, {"[a]", "[a:]"},        {"[[1 2]]", "[[1 3]]"},
        {"[a/b]", "[a/c]"},         {"[#{01}]", "[#{02}]"}, {"[1.5]", "[2.5]"},
        {"[(x)]", "[[x]]"},
    };
    for (const Pair& p : differ) {
        stack::StackScope scope;
        const Cell* a = lex(p.a);
        const Cell* b = lex(p.b);
        std::string why;
        EXPECT_FALSE(zunboot::same(*a, *b, why)) << p.a << " against " << p.b;
        EXPECT_FALSE(why.empty()) << p.a;
        EXPECT_TRUE(zunboot::same(*a, *a, why)) << p.a;
    }
    stack::StackScope scope;
    const Cell* a = lex("[a [b\n c] \"d\" #{01}]");
    const Cell* b = lex("[a [b\n c] \"d\" #{01}]");
    std::string why;
    EXPECT_TRUE(zunboot::same(*a, *b, why)) << why;
    Cell moved = *b;
    moved.data1 = 1;  // the same block seen from its second value
    EXPECT_FALSE(zunboot::same(*a, moved, why));
}

// The global words' names in context order after a whole start-up.
std::vector<std::string> words_after_startup() {
    startup::init_runtime();
    startup::read_startup_texts();
    const NodeId global = context::global();
    std::vector<std::string> names;
    for (uint32_t i = 0; i < context::word_count(global); i++)
        names.emplace_back(symbol::name(memory::buffer_of(context::word_block(global))->head_cell()[i].data2));
    return names;
}

// The stream makes every global word as it loads: they must come out in the
// order a start-up that lexes its texts makes them.
TEST(BootStream, GlobalWordsInTheOrderOfALexingStartUp) {
    boot_texts::set_stream(nullptr, 0);
    const std::vector<std::string> lexing = words_after_startup();
    boot_texts::set_stream(boot_stream, boot_stream_size, boot_stream_keys, boot_stream_keys_size);
    const std::vector<std::string> loading = words_after_startup();
    boot_texts::set_stream(nullptr, 0);
    EXPECT_EQ(loading, lexing);
}

}  // namespace
}  // namespace zun
