// The draw pass's matrices and its two error modes: catch mode (painting)
// prints the error and keeps what was drawn, script mode raises it.
#include "draw/draw_pass.hpp"

#include <cmath>

#include "core/externals.hpp"
#include "datatypes/series/image.hpp"
#include "draw/matrix.hpp"
#include "services/image_record.hpp"
#include "tests/unit/eval_fixture.hpp"

namespace zun {
namespace {

using draw::Matrix;

void expect_point(const Matrix& m, double x, double y, double ex, double ey) {
    EXPECT_NEAR(x * m.m11 + y * m.m21 + m.dx, ex, 1e-9);
    EXPECT_NEAR(x * m.m12 + y * m.m22 + m.dy, ey, 1e-9);
}

TEST(DrawMatrix, NewMatrixActsFirst) {
    // M x C: the translation (M) moves the point before the scale (C)
    const Matrix m = draw::multiply(draw::translation(10, 0), draw::scaling(2, 2, 0, 0));
    expect_point(m, 1, 1, 22, 2);
    expect_point(draw::rotation(90, 50, 50), 50, 0, 100, 50);
    expect_point(draw::scaling(2, 3, 50, 50), 50, 50, 50, 50);
    expect_point(draw::skewing(45, 0, 0, 0), 0, 10, 10, 10);
}

TEST(DrawMatrix, InvertAndAxisAligned) {
    Matrix m = draw::multiply(draw::rotation(30, 5, 7), draw::translation(3, -4));
    Matrix inv = m;
    ASSERT_TRUE(draw::invert(inv));
    const Matrix id = draw::multiply(m, inv);
    expect_point(id, 12, -3, 12, -3);
    Matrix singular = draw::scaling(0, 1, 0, 0);
    EXPECT_FALSE(draw::invert(singular));
    EXPECT_EQ(singular.m11, 0.0);  // left as it was
    EXPECT_TRUE(draw::axis_aligned(draw::rotation(90, 0, 0)));
    EXPECT_TRUE(draw::axis_aligned(draw::scaling(-2, 3, 0, 0)));
    EXPECT_FALSE(draw::axis_aligned(draw::rotation(45, 0, 0)));
}

class DrawPass : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        externals::init();
    }
    Cell* push_white(uint32_t w, uint32_t h) {
        const uint8_t white[3] = {255, 255, 255};
        Cell* cell = stack::push_cell();
        *cell = make_cell(TYPE_NONE);
        return image::make_at(cell, image_codec::make_bitmap(w, h, white, 3, nullptr, 0, nullptr, 0), w, h);
    }
    static uint32_t pixel(const Cell* img, uint32_t i) { return image_codec::get_pixel(img->data2, i); }
};

TEST_F(DrawPass, CatchModePrintsTheErrorAndKeepsTheDrawing) {
    Cell* img = push_white(4, 4);
    Cell* commands = load("pen off fill-pen 255.0.0 box 0x0 4x4 frob fill-pen 0.0.255 box 0x0 4x4");
    testing::internal::CaptureStdout();
    draw::do_draw(img, commands, true);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("DRAW - invalid input at:"), std::string::npos) << out;
    EXPECT_NE(out.find("frob"), std::string::npos) << out;
    EXPECT_EQ(pixel(img, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(DrawPass, ScriptModeRaisesAfterThePass) {
    Cell* img = push_white(4, 4);
    Cell* commands = load("pen off fill-pen 0.0.255 box 0x0 4x4 push [clip 0x0 1x1 line 1x1]");
    Cell error;
    EXPECT_EQ(test_support::raised([&] { draw::do_draw(img, commands, false); }, &error),
              ErrorId::script_draw_invalid);
    EXPECT_EQ(pixel(img, 15) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(DrawPass, EmptyBlocksAndEmptyImagesDoNothing) {
    Cell* img = push_white(2, 2);
    draw::do_draw(img, load(""), false);
    Cell* none = stack::push_cell();
    *none = make_cell(TYPE_NONE);
    draw::do_draw(img, none, false);
    Cell* empty = stack::push_cell();
    image::make_at(empty, 0, 0, 5);
    draw::do_draw(empty, load("frob"), false);  // nothing is walked
    EXPECT_EQ(pixel(img, 0) & 0xFFFFFF, 0xFFFFFFu);
}

}  // namespace
}  // namespace zun
