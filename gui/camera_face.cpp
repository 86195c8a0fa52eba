#include "gui/camera_face.hpp"

#include <cairo.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
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
#include "gui/camera_capture.hpp"
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
    explicit Record(HWND h)
        : hwnd(h), capture([this](bool taken) {
              // one repaint asked at a time; a frame for the slot always tells
              if (!repaint_asked.exchange(true) || taken) PostMessage(hwnd, WM_FRAME, 0, 0);
          }) {}
    HWND hwnd;
    std::vector<camera::Device> devices;
    bool synthetic = false;
    std::atomic<bool> repaint_asked{false};
    camera::Capture capture;  // last: stopped before the rest goes
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

// Opens device index (0-based) stopped: a running capture is stopped first.
// An index outside the list raises with its 1-based number, changing nothing.
bool open_camera(HWND hwnd, const Cell& f, int32_t index) {
    Record* r = record_of(hwnd);
    const int32_t count = r ? int32_t(r->devices.size()) : 0;
    if (index < 0 || index >= count) {
        const Cell number = integer_cell(index + 1);
        support::fire_error(ErrorId::access_cannot_open, &number);
    }
    r->capture.stop();
    std::unique_ptr<camera::FrameSource> source;
    if (r->synthetic) {
        source = std::make_unique<camera::SyntheticSource>(640, 480);
    } else {
        auto device = std::make_unique<camera::V4l2Device>();
        if (!device->open(r->devices[size_t(index)].path)) return false;
        source = std::move(device);
    }
    r->capture.open(std::move(source));
    const Cell ratio_word = word_cell("ratio");
    Cell* ratio = object::select_word(&f, &ratio_word);
    if (ratio->is(TYPE_FLOAT)) *ratio = float_::make_value(r->capture.ratio());
    InvalidateRect(hwnd, nullptr, true);
    return true;
}

// Starts or pauses the open capture; a stream that will not start releases it.
bool run_camera(HWND hwnd, bool run) {
    Record* r = record_of(hwnd);
    if (!r || !r->capture.opened()) return false;
    if (r->capture.run(run)) return true;
    console_out::write_cstring("This graph cannot preview\n");
    r->capture.stop();
    return false;
}

void stop_camera(HWND hwnd) {
    if (Record* r = record_of(hwnd)) r->capture.stop();
}

void open_and_run(HWND hwnd, const Cell& f, int32_t index) {
    if (open_camera(hwnd, f, index)) run_camera(hwnd, true);
}

void frame_ready(HWND hwnd) {
    Record* r = record_of(hwnd);
    if (!r) return;
    r->repaint_asked.store(false);
    InvalidateRect(hwnd, nullptr, false);
    camera::FrameSlot* slot = r->capture.slot();
    if (!slot || !slot->ready()) return;
    Cell f;
    if (!face_of_window(hwnd, &f) || !face::facet(&f, face::IMAGE)->is(TYPE_NONE)) {
        slot->settle(nullptr);
        return;
    }
    std::vector<uint8_t> frame;
    if (slot->settle(&frame)) set_image_facet(f, frame, slot->width(), slot->height());
}

void grab(HWND hwnd, const Cell& f) {
    *face::facet(&f, face::IMAGE) = make_cell(TYPE_NONE);
    Record* r = record_of(hwnd);
    camera::FrameSlot* slot = r ? r->capture.slot() : nullptr;
    if (!slot) return;
    std::vector<uint8_t> frame;
    if (slot->grab(frame)) set_image_facet(f, frame, slot->width(), slot->height());
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
        if (r) r->capture.with_preview([&](uint8_t* pixels, int w, int h) {
            const camera::Rect fit = camera::fit_preview(w, h, cw, ch);
            if (fit.width <= 0 || fit.height <= 0) return;
            cairo_surface_t* s = cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_RGB24, w, h, w * 4);
            cairo_save(cr);
            cairo_rectangle(cr, fit.left, fit.top, fit.width, fit.height);
            cairo_clip(cr);
            cairo_translate(cr, fit.left, fit.top);
            cairo_scale(cr, double(fit.width) / w, double(fit.height) / h);
            cairo_set_source_surface(cr, s, 0, 0);
            cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
            cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
            cairo_paint(cr);
            cairo_restore(cr);
            cairo_surface_destroy(s);
        });
    }
    EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DESTROY:
        stop_camera(hwnd);
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
    auto rec = std::make_unique<Record>(hwnd);
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
    if (selected.is(TYPE_INTEGER)) open_and_run(hwnd, f, selected.as_int() - 1);
}

void apply_changes(HWND hwnd, const Cell* face_in, uint32_t bits) {
    const Cell f = *face_in;
    if (bits & (1u << face::SELECTED)) {
        const Cell selected = *face::facet(&f, face::SELECTED);
        if (selected.is(TYPE_NONE)) stop_camera(hwnd);
        else if (selected.is(TYPE_INTEGER)) open_and_run(hwnd, f, selected.as_int() - 1);
    }
    if ((bits & (1u << face::IMAGE)) && face::facet(&f, face::IMAGE)->is(TYPE_NONE)) grab(hwnd, f);
    if (bits & (1u << face::SIZE)) InvalidateRect(hwnd, nullptr, true);
}

void stop_all() {
    for (auto& [hwnd, r] : records()) r->capture.stop();
    records().clear();
}

void to_image(const Cell* face_in, Cell* out) {
    *out = make_cell(TYPE_NONE);
    Record* r = record_of(face::window_of(face_in));
    if (!r) return;
    std::vector<uint8_t> copy;
    int w = 0, h = 0;
    if (!r->capture.with_preview([&](const uint8_t* pixels, int pw, int ph) {
            copy.assign(pixels, pixels + size_t(pw) * size_t(ph) * 4);
            w = pw;
            h = ph;
        }))
        return;
    make_image(copy, w, h, out);
}

}  // namespace zun::gui::camera_face
