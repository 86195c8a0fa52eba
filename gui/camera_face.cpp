#include "gui/camera_face.hpp"

#include <cairo.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/console_out.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "gui/backend.hpp"
#include "gui/camera_devices.hpp"
#include "gui/camera_slot.hpp"
#include "gui/camera_v4l2.hpp"
#include "gui/face.hpp"
#include "interpreter/stack.hpp"
#include "services/image_record.hpp"

namespace zun::gui::camera_face {

using namespace win;

namespace {

constexpr UINT WM_FRAME = WM_USER + 1;

// The capture record of one camera window.
struct Record {
    HWND hwnd = 0;
    std::vector<camera::Device> devices;
    bool synthetic = false;
    double ratio = 0;
    std::unique_ptr<camera::FrameSlot> slot;
    std::unique_ptr<camera::CaptureThread> thread;
    std::unique_ptr<camera::V4l2Device> device;
    // The newest frame for painting, BGRA, written by the capture thread.
    std::mutex preview_lock;
    std::vector<uint8_t> preview;
    int preview_w = 0, preview_h = 0;
    std::atomic<bool> repaint_asked{false};
};

std::unordered_map<HWND, std::unique_ptr<Record>>& records() {
    // never destroyed: a capture left running at exit is stopped by stop_all,
    // not by a static destructor racing the window layer's
    static auto* all = new std::unordered_map<HWND, std::unique_ptr<Record>>;
    return *all;
}

Record* record_of(HWND hwnd) {
    auto it = records().find(hwnd);
    return it == records().end() ? nullptr : it->second.get();
}

// The in-memory display has synthetic cameras, unless ZUN_CAMERA_DEVICES
// names a folder to list devices from instead of /dev.
bool synthetic_cameras() {
    const char* d = std::getenv("ZUN_DISPLAY");
    const char* folder = std::getenv("ZUN_CAMERA_DEVICES");
    return d && std::string_view(d).starts_with("memory") && !(folder && *folder);
}

std::string device_folder() {
    const char* folder = std::getenv("ZUN_CAMERA_DEVICES");
    return folder && *folder ? folder : "/dev";
}

// A test source: 640x480 at 30 frames a second; blue carries the frame
// number's low byte, green and red the column and row.
struct SyntheticSource {
    int width, height;
    uint32_t number = 0;
    std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();
    bool operator()(uint8_t* bgr, int timeout_ms) {
        const auto now = std::chrono::steady_clock::now();
        if (next > now + std::chrono::milliseconds(timeout_ms)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
            return false;
        }
        std::this_thread::sleep_until(next);
        next += std::chrono::microseconds(33333);
        ++number;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x, bgr += 3) {
                bgr[0] = uint8_t(number);
                bgr[1] = uint8_t(x * 255 / (width - 1));
                bgr[2] = uint8_t(y * 255 / (height - 1));
            }
        // the whole number in the first pixels, for readers that need more than a byte
        for (int i = 0; i < 4; ++i) bgr[-3 * width * height + 3 * i] = uint8_t(number >> (8 * i));
        return true;
    }
};

void stop(Record* r) {
    // the thread is joined before the slot it writes is freed
    if (r->thread) r->thread->stop();
    r->thread.reset();
    r->slot.reset();
    r->device.reset();
}

void make_image(const std::vector<uint8_t>& bgra, int w, int h, Cell* out) {
    const NodeId id = image_codec::bitmap_from_memory(uint32_t(w), uint32_t(h), 0, bgra.data());
    image::make_at(out, id, uint32_t(w), uint32_t(h));
}

// The image facet set from a frame; the facet is found again after the
// allocations that make the image.
void set_image_facet(const Cell& f, const std::vector<uint8_t>& bgra, int w, int h) {
    Cell* tmp = stack::push_cell();
    *tmp = make_cell(TYPE_NONE);
    make_image(bgra, w, h, tmp);
    *face::facet(&f, face::IMAGE) = *tmp;
    stack::pop(1);
}

Cell word_cell(const char* name) {
    return word::make_value(TYPE_WORD, context::global(), symbol::make(name), context::NO_INDEX);
}

void open(HWND hwnd, const Cell& f, int32_t index) {
    Record* r = record_of(hwnd);
    const int32_t count = r ? int32_t(r->devices.size()) : 0;
    if (index < 0 || index >= count) {
        const Cell number = integer_cell(index + 1);
        support::fire_error(ErrorId::access_cannot_open, &number);
    }
    stop(r);
    int w = 640, h = 480;
    camera::CaptureThread::Source source = SyntheticSource{w, h};
    if (!r->synthetic) {
        auto device = std::make_unique<camera::V4l2Device>();
        if (!device->open(r->devices[size_t(index)].path) || !device->run(true)) return;
        w = device->width();
        h = device->height();
        source = [d = device.get()](uint8_t* bgr, int ms) { return d->next_frame(bgr, ms); };
        r->device = std::move(device);
    }
    r->slot = std::make_unique<camera::FrameSlot>(w, h);
    r->ratio = double(w) / double(h);
    {
        std::lock_guard<std::mutex> hold(r->preview_lock);
        r->preview.assign(size_t(w) * size_t(h) * 4, 0);
        r->preview_w = w;
        r->preview_h = h;
    }
    auto hook = [r](const uint8_t* bgr, bool taken) {
        {
            std::lock_guard<std::mutex> hold(r->preview_lock);
            camera::bgr_to_bgra(bgr, r->preview.data(), r->preview_w * r->preview_h);
        }
        if (!r->repaint_asked.exchange(true) || taken) PostMessage(r->hwnd, WM_FRAME, 0, 0);
    };
    r->thread = std::make_unique<camera::CaptureThread>(*r->slot, std::move(source), hook);
    const Cell ratio_word = word_cell("ratio");
    Cell* ratio = object::select_word(&f, &ratio_word);
    if (ratio->is(TYPE_FLOAT)) *ratio = float_::make_value(r->ratio);
    r->thread->start();
    InvalidateRect(hwnd, nullptr, true);
}

void frame_ready(HWND hwnd) {
    Record* r = record_of(hwnd);
    if (!r) return;
    r->repaint_asked.store(false);
    InvalidateRect(hwnd, nullptr, false);
    if (!r->slot || !r->slot->ready()) return;
    Cell f;
    if (!face_of_window(hwnd, &f) || !face::facet(&f, face::IMAGE)->is(TYPE_NONE)) {
        r->slot->settle(nullptr);
        return;
    }
    std::vector<uint8_t> frame;
    if (r->slot->settle(&frame)) set_image_facet(f, frame, r->slot->width(), r->slot->height());
}

void grab(HWND hwnd, const Cell& f) {
    *face::facet(&f, face::IMAGE) = make_cell(TYPE_NONE);
    Record* r = record_of(hwnd);
    if (!r || !r->slot) return;
    std::vector<uint8_t> frame;
    if (r->slot->grab(frame)) set_image_facet(f, frame, r->slot->width(), r->slot->height());
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    cairo_t* cr = static_cast<cairo_t*>(BeginPaint(hwnd, &ps));
    RECT rc;
    GetClientRect(hwnd, &rc);
    const int cw = rc.right - rc.left, ch = rc.bottom - rc.top;
    if (cr) {
        FillRect(cr, &rc, GetSysColorBrush(COLOR_BACKGROUND));
        Record* r = record_of(hwnd);
        if (r && r->thread) {
            std::lock_guard<std::mutex> hold(r->preview_lock);
            const camera::Rect fit = camera::fit_preview(r->preview_w, r->preview_h, cw, ch);
            if (fit.width > 0 && fit.height > 0) {
                cairo_surface_t* s = cairo_image_surface_create_for_data(
                    r->preview.data(), CAIRO_FORMAT_RGB24, r->preview_w, r->preview_h, r->preview_w * 4);
                cairo_save(cr);
                cairo_rectangle(cr, fit.left, fit.top, fit.width, fit.height);
                cairo_clip(cr);
                cairo_translate(cr, fit.left, fit.top);
                cairo_scale(cr, double(fit.width) / r->preview_w, double(fit.height) / r->preview_h);
                cairo_set_source_surface(cr, s, 0, 0);
                cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
                cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
                cairo_paint(cr);
                cairo_restore(cr);
                cairo_surface_destroy(s);
            }
        }
    }
    EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DESTROY:
        if (Record* r = record_of(hwnd)) stop(r);
        records().erase(hwnd);
        break;
    case WM_FRAME: frame_ready(hwnd); return 0;
    case WM_PAINT: paint(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    default: break;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

void init(const Cell* face_in, HWND hwnd) {
    const Cell f = *face_in;
    auto rec = std::make_unique<Record>();
    rec->hwnd = hwnd;
    if (synthetic_cameras()) {
        rec->synthetic = true;
        rec->devices = {{"", "Synthetic camera 1"}, {"", "Synthetic camera 2"}};
    } else if (auto found = camera::list_devices(device_folder())) {
        rec->devices = std::move(*found);
    } else {
        console_out::write_cstring("Error Creating Device Enumerator\n");
        return;
    }
    if (rec->devices.empty()) {
        console_out::write_cstring("No video capture hardware\n");
        return;
    }
    Cell* data = stack::push_cell();
    block::make_at(data, int32_t(rec->devices.size()));
    for (const camera::Device& d : rec->devices) {
        Cell* name = stack::push_cell();
        string::make_at(name, uint32_t(d.name.size()), 1);
        string::append_utf8(name, d.name.data(), uint32_t(d.name.size()));
        block::append_cell(data, name);
        stack::pop(1);
    }
    *face::facet(&f, face::DATA) = *data;
    stack::pop(1);
    records()[hwnd] = std::move(rec);
    const Cell selected = *face::facet(&f, face::SELECTED);
    if (selected.is(TYPE_INTEGER)) open(hwnd, f, selected.as_int() - 1);
}

void apply_changes(HWND hwnd, const Cell* face_in, uint32_t bits) {
    const Cell f = *face_in;
    if (bits & (1u << face::SELECTED)) {
        const Cell selected = *face::facet(&f, face::SELECTED);
        if (selected.is(TYPE_NONE)) {
            if (Record* r = record_of(hwnd)) stop(r);
        } else if (selected.is(TYPE_INTEGER)) {
            open(hwnd, f, selected.as_int() - 1);
        }
    }
    if ((bits & (1u << face::IMAGE)) && face::facet(&f, face::IMAGE)->is(TYPE_NONE)) grab(hwnd, f);
    if (bits & (1u << face::SIZE)) InvalidateRect(hwnd, nullptr, true);
}

void stop_all() {
    for (auto& [hwnd, r] : records()) stop(r.get());
    records().clear();
}

void to_image(const Cell* face_in, Cell* out) {
    *out = make_cell(TYPE_NONE);
    Record* r = record_of(face::window_of(face_in));
    if (!r || !r->thread) return;
    std::vector<uint8_t> copy;
    int w, h;
    {
        std::lock_guard<std::mutex> hold(r->preview_lock);
        copy = r->preview;
        w = r->preview_w;
        h = r->preview_h;
    }
    make_image(copy, w, h, out);
}

}  // namespace zun::gui::camera_face
