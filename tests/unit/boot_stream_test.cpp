// The embedded boot stream: start-up reads every text from it and lexes
// none, and its global words come out as a lexing start-up makes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "startup/boot_texts.hpp"
#include "startup/init.hpp"
#include "startup/script.hpp"

namespace zun {
namespace {

#include "boot_stream.inc"
#include "boot_stream_keys.inc"

TEST(BootStream, StartUpLexesNothing) {
    boot_texts::set_stream(boot_stream, boot_stream_size, boot_stream_keys, boot_stream_keys_size);
    const uint32_t before = boot_texts::lexed_count();
    startup::init_runtime();
    startup::read_startup_texts();
    EXPECT_EQ(boot_texts::lexed_count(), before);
    boot_texts::set_stream(nullptr, 0);
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
