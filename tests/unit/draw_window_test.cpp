// Drawing into windows of the in-memory display: the face's colour and
// image, draw blocks in logical units at the window's DPI, translucent
// children, resize failure, capture into an image and the layered limit.
#include "draw/window_target.hpp"

#include <map>

#include "core/externals.hpp"
#include "datatypes/series/image.hpp"
#include "platform/display_memory.hpp"
#include "services/image_record.hpp"
#include "tests/unit/eval_fixture.hpp"

namespace zun {
namespace {

using namespace win;

struct Painted {
    const Cell* face;
    const Cell* commands;
};
std::map<HWND, Painted> g_faces;
std::map<HWND, int> g_paints;

LRESULT face_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    auto it = g_faces.find(h);
    if (m == WM_PAINT && it != g_faces.end()) {
        if (!draw::paint_may_start(h)) return 0;
        ++g_paints[h];
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        draw::paint_started(h, false);
        draw::paint_window(h, it->second.face, it->second.commands, false, dc);
        draw::paint_ended(h);
        EndPaint(h, &ps);
        return 0;
    }
    if (m == WM_ERASEBKGND) return 1;
    return DefWindowProc(h, m, w, l);
}

class DrawWindow : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        externals::init();
        std::vector<Monitor> monitors;
        ASSERT_TRUE(MemoryDisplay::parse_monitors("1024x768@96,1024x768+1024+0@144", &monitors));
        auto d = std::make_unique<MemoryDisplay>(monitors);
        m_display = d.get();
        ASSERT_TRUE(win::open(std::move(d)));
        WNDCLASS wc;
        wc.lpfnWndProc = face_proc;
        wc.lpszClassName = "Face";
        ASSERT_NE(RegisterClass(wc), 0);
        g_faces.clear();
        g_paints.clear();
    }
    void TearDown() override {
        draw::release_all_render_targets();
        win::close();
    }
    // The value of the code, kept on the value stack.
    static const Cell* value(const char* code) {
        Cell* block = load(code);
        EXPECT_EQ(interpreter::eval_block(block, false), Flow::normal) << code;
        return stack::g_top - 1;
    }
    HWND window(const char* face, const char* commands, int x, int y, int w, int h, HWND parent = 0,
                uint32_t ex = 0) {
        const uint32_t style = (parent ? WS_CHILD : WS_OVERLAPPED) | WS_VISIBLE;
        HWND hwnd = CreateWindowEx(ex, "Face", "", style, x, y, w, h, parent);
        g_faces[hwnd] = {value(face), commands ? load(commands) : nullptr};
        return hwnd;
    }
    // A client pixel of the window's own surface, unpremultiplied ARGB.
    static uint32_t own_pixel(HWND hwnd, int x, int y) {
        cairo_surface_t* s = GetWindowSurface(hwnd);
        cairo_surface_flush(s);
        const uint8_t* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<const uint32_t*>(row)[x];
    }
    // A pixel of the composition a top-level shows.
    static uint32_t shown_pixel(HWND top, int x, int y) {
        cairo_surface_t* s = PrintWindow(top);
        const uint8_t* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        const uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
        cairo_surface_destroy(s);
        return p;
    }
    static void pump() {
        MSG m;
        while (PeekMessage(&m)) DispatchMessage(&m);
    }
    MemoryDisplay* m_display = nullptr;
};

TEST_F(DrawWindow, FaceColourAndTheDefaults) {
    HWND red = window("make object! [color: 255.0.0 size: 40x30]", nullptr, 0, 0, 40, 30);
    HWND plain = window("make object! [color: none size: 40x30]", nullptr, 100, 0, 40, 30);
    HWND child = window("make object! [color: none size: 10x10]", nullptr, 5, 5, 10, 10, red);
    UpdateWindow(red);
    UpdateWindow(plain);
    UpdateWindow(child);
    EXPECT_EQ(own_pixel(red, 20, 20), 0xFFFF0000u);
    EXPECT_EQ(own_pixel(plain, 20, 20), 0xFFF0F0F0u);  // the theme's panel colour
    EXPECT_EQ(own_pixel(child, 5, 5), 0u);             // a child stays transparent
    EXPECT_EQ(shown_pixel(red, 8, 8), 0xFFFF0000u);    // showing what lies under it
}

TEST_F(DrawWindow, DrawBlocksWorkInLogicalUnits) {
    const char* box = "pen off fill-pen 0.0.255 box 0x0 10x10";
    struct Case {
        int x;
        int inside, outside;  // last pixel of the box, first after it
    } cases[] = {{0, 9, 10}, {1100, 14, 15}};  // 96 and 144 DPI: 10 logical are 15 px
    for (const Case& c : cases) {
        HWND h = window("make object! [color: 255.255.255 size: 40x40]", box, c.x, 0, 60, 60);
        ASSERT_EQ(GetDpiForWindow(h), c.x ? 144u : 96u);
        UpdateWindow(h);
        EXPECT_EQ(own_pixel(h, c.inside, c.inside), 0xFF0000FFu) << c.x;
        EXPECT_EQ(own_pixel(h, c.outside, c.outside), 0xFFFFFFFFu) << c.x;
    }
}

TEST_F(DrawWindow, TranslucentChildShowsWhatLiesUnder) {
    HWND top = window("make object! [color: 255.0.0 size: 40x40]", nullptr, 0, 0, 40, 40);
    HWND child = window("make object! [color: 0.0.255.128 size: 20x20]", nullptr, 10, 10, 20, 20, top);
    UpdateWindow(top);
    UpdateWindow(child);
    const uint32_t p = shown_pixel(top, 20, 20);
    EXPECT_EQ(p >> 24, 0xFFu);
    EXPECT_NEAR(double((p >> 16) & 0xFF), 128, 2);  // red through half the blue
    EXPECT_NEAR(double(p & 0xFF), 127, 2);
    EXPECT_EQ(shown_pixel(top, 5, 5), 0xFFFF0000u);
}

TEST_F(DrawWindow, ImageFacetIsStretchedToTheSize) {
    set_global("pic", *value("make image! [2x1 #{FF000000FF00}]"));
    HWND h = window("make object! [color: none image: pic size: 40x20]", nullptr, 0, 0, 40, 20);
    UpdateWindow(h);
    EXPECT_EQ(own_pixel(h, 3, 10), 0xFFFF0000u);
    EXPECT_EQ(own_pixel(h, 36, 10), 0xFF00FF00u);
}

TEST_F(DrawWindow, FailedResizeDrawsNothingUntilTheNext) {
    HWND top = window("make object! [color: 255.0.0 size: 40x40]", nullptr, 0, 0, 40, 40);
    HWND wide = window("make object! [color: 0.255.0 size: 10x10]", nullptr, 0, 0, 40000, 10, top);
    testing::internal::CaptureStdout();
    draw::paint_window(wide, g_faces[wide].face, nullptr, false, nullptr);
    draw::paint_window(wide, g_faces[wide].face, nullptr, false, nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "resizing failed\n");  // printed once: the second pass draws nothing
    draw::WindowRecord* r = draw::find_window_target(wide);
    ASSERT_TRUE(r && r->failed);
    SetWindowPos(wide, 0, 0, 0, 20, 10, SWP_NOZORDER | SWP_NOMOVE);
    draw::paint_window(wide, g_faces[wide].face, nullptr, false, nullptr);
    EXPECT_FALSE(r->failed);
    EXPECT_EQ(own_pixel(wide, 5, 5), 0xFF00FF00u);
}

TEST_F(DrawWindow, SwitchingThePathRemakesRecordsAndRepaints) {
    HWND top = window("make object! [color: 255.0.0 size: 40x40]", "pen off fill-pen 0.0.255 box 0x0 10x10", 0, 0,
                      40, 40);
    HWND child = window("make object! [color: 0.255.0 size: 10x10]", nullptr, 20, 20, 10, 10, top);
    UpdateWindow(top);
    UpdateWindow(child);
    ASSERT_NE(draw::find_window_target(top), nullptr);
    const bool before = draw::gpu_path();
    const int paints = g_paints[top];
    draw::switch_render_path();
    EXPECT_NE(draw::gpu_path(), before);
    EXPECT_EQ(draw::find_window_target(top), nullptr);  // given back, made at the next paint
    EXPECT_EQ(draw::find_window_target(child), nullptr);
    pump();
    EXPECT_EQ(g_paints[top], paints + 1);
    ASSERT_NE(draw::find_window_target(top), nullptr);
    EXPECT_EQ(own_pixel(top, 5, 5), 0xFF0000FFu);
    EXPECT_EQ(own_pixel(top, 15, 15), 0xFFFF0000u);
    EXPECT_EQ(own_pixel(child, 5, 5), 0xFF00FF00u);
    draw::switch_render_path();
    EXPECT_EQ(draw::gpu_path(), before);
}

TEST_F(DrawWindow, CaptureIntoAnImageAtTheWindowsDpi) {
    HWND h = window("make object! [color: 255.255.255 size: 20x20]", nullptr, 1100, 0, 30, 30);
    const Cell* img = value("make image! 30x30");
    draw::capture_window(h, g_faces[h].face, load("pen off fill-pen 0.0.255 box 0x0 10x10"), img);
    EXPECT_EQ(image_codec::get_pixel(img->data2, 14 * 30 + 14) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(image_codec::get_pixel(img->data2, 15 * 30 + 15) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(draw::WindowPass::current(h), nullptr);
}

TEST_F(DrawWindow, DrawFaceOutsideAPaintDrawsNothing) {
    HWND h = window("make object! [color: 255.0.0 size: 20x20]", nullptr, 0, 0, 20, 20);
    EXPECT_EQ(draw::WindowPass::current(h), nullptr);
    {
        draw::WindowPass pass(h, g_faces[h].face, false, nullptr);
        EXPECT_EQ(draw::WindowPass::current(h), &pass);
    }
    EXPECT_EQ(draw::WindowPass::current(h), nullptr);
}

TEST_F(DrawWindow, LayeredLimitReoffersOnlyWhenItExpires) {
    HWND layered = window("make object! [color: 0.0.255.128 size: 20x20]", nullptr, 0, 0, 20, 20, 0, WS_EX_LAYERED);
    HWND other = window("make object! [color: 255.0.0 size: 20x20]", nullptr, 100, 0, 20, 20);
    pump();
    // a layered redraw: its frame is presented by its painter
    draw::paint_window(layered, g_faces[layered].face, nullptr, true, nullptr);
    cairo_surface_t* frame = draw::create_window_bitmap(layered);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(UpdateLayeredWindow(layered, nullptr, nullptr, frame, nullptr, 255));
    EXPECT_NEAR(double(shown_pixel(layered, 5, 5) >> 24), 128, 1);  // its translucent colour
    InvalidateRect(other, nullptr, true);
    const int before = g_paints[other];
    pump();  // refused: no busy loop of offers
    EXPECT_EQ(g_paints[other], before);
    m_display->tick(10);
    pump();
    EXPECT_EQ(g_paints[other], before);
    m_display->tick(10);  // the limit expired: offered once more
    pump();
    EXPECT_EQ(g_paints[other], before + 1);
    EXPECT_EQ(own_pixel(other, 5, 5), 0xFFFF0000u);
}

TEST_F(DrawWindow, PaintRefusedWhileAnotherRunsComesBackAtItsEnd) {
    HWND other = window("make object! [color: 0.255.0 size: 20x20]", nullptr, 100, 0, 20, 20);
    pump();
    const int before = g_paints[other];
    draw::paint_started(other, false);  // a paint in progress (an actor's loop inside it)
    InvalidateRect(other, nullptr, true);
    pump();
    pump();
    EXPECT_EQ(g_paints[other], before);
    draw::paint_ended(other);
    pump();
    EXPECT_EQ(g_paints[other], before + 1);
}

}  // namespace
}  // namespace zun
