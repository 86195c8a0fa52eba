// Libraries opened on first use: a working lookup, and a clear error (never a
// crash) for a library or a function that is missing.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/lazy_library.hpp"
#include "tests/unit/eval_fixture.hpp"

namespace zun {
namespace {

using LazyLibrary = eval_test::EvalTest;

lazy::Library g_libm("libm.so.6");
lazy::Library g_missing("libzun-missing.so.1");

TEST_F(LazyLibrary, OpensOnFirstUseAndResolvesOnce) {
    EXPECT_FALSE(g_libm.opened());
    auto cosine = ZUN_LAZY_CALL(g_libm, cos);
    EXPECT_TRUE(g_libm.opened());
    EXPECT_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(ZUN_LAZY_CALL(g_libm, cos), cosine);
}

TEST_F(LazyLibrary, MissingLibraryOrFunctionRaisesCannotOpen) {
    Cell error;
    EXPECT_EQ(test_support::caught([] { g_missing.symbol("anything"); }, &error), ErrorId::access_cannot_open);
    EXPECT_EQ(test_support::caught([] { g_libm.symbol("zun_no_such_function"); }, &error),
              ErrorId::access_cannot_open);
    EXPECT_FALSE(g_missing.opened());
}

}  // namespace
}  // namespace zun
