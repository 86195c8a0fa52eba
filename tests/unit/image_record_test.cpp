#include "services/image_record.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "core/externals.hpp"
#include "datatypes/series/image.hpp"
#include "services/image_codecs.hpp"
#include "tests/unit/runtime_fixture.hpp"

using namespace zun;
namespace ic = zun::image_codec;

namespace {

int g_released = 0;
void count_release(void*) { g_released++; }

class ImageRecord : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        externals::init();
        g_released = 0;
    }
    // A new image! on the stack over a record of w x h pixels 0, 1, 2...
    Cell* push_image(uint32_t w, uint32_t h) {
        std::vector<uint32_t> px(size_t(w) * h);
        for (size_t i = 0; i < px.size(); i++) px[i] = 0xFF000000u | uint32_t(i);
        Cell* cell = stack::push_cell();
        *cell = make_cell(TYPE_NONE);
        return image::make_at(cell, ic::bitmap_from_memory(w, h, 0, reinterpret_cast<uint8_t*>(px.data())));
    }
};

}  // namespace

TEST_F(ImageRecord, DroppedImagesGiveTheirPixelsBack) {
    collector::recycle();
    size_t before = ic::live_records();
    for (int i = 0; i < 200; i++) {
        push_image(8, 8);
        stack::pop(1);
    }
    Cell* kept = push_image(3, 3);
    collector::recycle();
    EXPECT_EQ(ic::live_records(), before + 1);
    EXPECT_EQ(ic::get_pixel(kept->data2, 4), 0xFF000004u);
    stack::pop(1);
    collector::recycle();
    EXPECT_EQ(ic::live_records(), before);
}

// Pixel memory lies outside the series frames: making it prompts collections.
TEST_F(ImageRecord, PixelChurnCollectsByItself) {
    collector::recycle();
    size_t before = ic::live_records();
    for (int i = 0; i < 160; i++) {
        Cell* img = stack::push_cell();
        *img = make_cell(TYPE_NONE);
        image::make_at(img, ic::make_bitmap(1024, 256, nullptr, 0, nullptr, 0, nullptr, 0));
        stack::pop(1);
    }
    EXPECT_LT(ic::live_records(), before + 100);  // 160 MB made, at most 64 MB of them kept
}

TEST_F(ImageRecord, AttachedObjectLivesOneCollectionAfterItWasHandedOut) {
    Cell* img = push_image(2, 2);
    ic::attach_bitmap(img->data2, ic::make_attached(nullptr, count_release));
    ic::release(ic::get_attached_bitmap(img->data2));  // handed out and given back
    EXPECT_TRUE(ic::record_flags(img->data2) & ic::HANDED_OUT);
    collector::recycle();
    EXPECT_EQ(g_released, 0);
    EXPECT_FALSE(ic::record_flags(img->data2) & ic::HANDED_OUT);
    collector::recycle();
    EXPECT_EQ(g_released, 1);
    EXPECT_EQ(ic::get_attached_bitmap(img->data2), nullptr);
    // A reference the caller still holds outlives the record's.
    ic::attach_bitmap(img->data2, ic::make_attached(nullptr, count_release));
    ic::Attached* held = ic::get_attached_bitmap(img->data2);
    ic::drop_attached_bitmap(img->data2);
    EXPECT_EQ(g_released, 1);
    ic::release(held);
    EXPECT_EQ(g_released, 2);
}

TEST_F(ImageRecord, PremultipliedCopyFollowsWritesAndDrawingComesBack) {
    Cell* img = push_image(2, 1);
    NodeId r = img->data2;
    ic::set_pixel(r, 0, 0x80FF8040u);
    EXPECT_EQ(ic::make_shared_bitmap(r)[0], 0x80804020u);  // (c x a + 127) / 255
    EXPECT_EQ(ic::record_flags(r) & (ic::SHARED | ic::PREMULTIPLIED | ic::MODIFIED),
              ic::SHARED | ic::PREMULTIPLIED);
    ic::set_pixel(r, 1, 0x00123456u);
    EXPECT_EQ(ic::get_converted_bitmap(r, true)[1], 0u);  // rebuilt: the write shows
    // Drawing into the shared copy: the straight pixels are rebuilt from it.
    uint32_t* shared = ic::make_shared_bitmap(r);
    ic::invalidate_attached(r);
    shared[0] = 0x40201008u;
    EXPECT_EQ(ic::get_pixel(r, 0), 0x40804020u);  // min(255, (p x 255 + a / 2) / a)
    EXPECT_EQ(ic::get_pixel(r, 1), 0u);
    EXPECT_EQ(ic::unpremultiply(ic::premultiply(0xFF123456u)), 0xFF123456u);
}

TEST_F(ImageRecord, ResizeCropFlipAndCopy) {
    Cell* img = push_image(3, 2);  // 0 1 2 / 3 4 5
    NodeId r = img->data2;
    // Each new record goes on the stack before anything else allocates.
    auto held = [](NodeId made) {
        if (made) image::make_at(stack::push_cell(), made);
        return made;
    };
    struct Case {
        NodeId made;
        uint32_t w, h;
        std::vector<uint32_t> pixels;
    };
    Case cases[] = {
        {held(ic::resize(r, 2, 1)), 2, 1, {3, 5}},  // source x = floor((x + 0.5) x 3 / 2), y likewise
        {held(ic::resize(r, 6, 4)), 6, 4, {0, 0, 1, 1, 2, 2, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 3, 3, 4, 4, 5, 5}},
        {held(ic::crop(r, 1, 1, 5, 5)), 2, 1, {4, 5}},        // cut to the image
        {held(ic::crop(r, -1, 0, 2, 1)), 1, 1, {0}},
        {held(ic::flip_vertical(r)), 3, 2, {3, 4, 5, 0, 1, 2}},
        {held(ic::copy_bitmap(r)), 3, 2, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.made, 0u);
        ASSERT_EQ(ic::bitmap_width(c.made), c.w);
        ASSERT_EQ(ic::bitmap_height(c.made), c.h);
        for (size_t i = 0; i < c.pixels.size(); i++)
            EXPECT_EQ(ic::get_pixel(c.made, uint32_t(i)), 0xFF000000u | c.pixels[i]) << i;
    }
    EXPECT_EQ(ic::crop(r, 3, 0, 1, 1), 0u);  // nothing left after cutting
    // Rows of a stride wider than the pixels.
    const uint32_t rows[] = {1, 2, 99, 3, 4, 99};
    NodeId strided = held(ic::bitmap_from_memory(2, 2, 12, reinterpret_cast<const uint8_t*>(rows)));
    EXPECT_EQ(ic::get_pixel(strided, 2), 3u);
}

TEST_F(ImageRecord, UnknownEncoderProducesNothing) {
    Cell* img = push_image(1, 1);
    Cell* out = stack::push_cell();
    *out = make_cell(TYPE_NONE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ic::encode_to_stream(out, img->data2, 5), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot find image encoder\n");
    EXPECT_TRUE(out->is(TYPE_NONE));
    EXPECT_EQ(ic::encode_to_stream(out, 0, 1), 1);  // 0 x 0: an empty binary
    EXPECT_TRUE(out->is(TYPE_BINARY));
}
