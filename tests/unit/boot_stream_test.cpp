// The embedded boot stream: start-up reads every text from it and lexes none.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zun
