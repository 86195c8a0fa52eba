// Button and toggle images: an image list of one image, or of one image per
// button state, built from the `image` facet.
#include <cairo.h>

#include <vector>

#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "gui/backend.hpp"
#include "gui/widget_internal.hpp"
#include "services/image_record.hpp"

#include "platform/controls/imagelist.hpp"

namespace zun::gui::widget {

namespace {

constexpr int STATES = 6;  // normal, hot, pressed, disabled, defaulted, stylus-hot

// The image at cx x cy as a new ARGB32 surface, null for an empty image.
cairo_surface_t* scaled_surface(const Cell* img, int cx, int cy) {
    const uint32_t iw = image::width_of(img), ih = image::height_of(img);
    if (img->data2 == 0 || iw == 0 || ih == 0 || cx <= 0 || cy <= 0) return nullptr;
    // the bitmap is read in place: nothing below allocates series memory
    auto* pixels = reinterpret_cast<unsigned char*>(image_codec::make_shared_bitmap(img->data2));
    cairo_surface_t* source =
        cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_ARGB32, int(iw), int(ih), int(iw) * 4);
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cx, cy);
    cairo_t* cr = cairo_create(out);
    cairo_scale(cr, double(cx) / iw, double(cy) / ih);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(source);
    return out;
}

}  // namespace

// Only image! values fill the entries of a block (a size pair, or anything
// else, is skipped); the entries past them repeat the first image.
void set_button_images(HWND hwnd, const Cell* f) {
    const Cell image = *face::facet(f, face::IMAGE);
    std::vector<Cell> images;
    int cx = 0, cy = 0;
    if (image.is(TYPE_IMAGE)) {
        images.push_back(image);
        cx = int(image::width_of(&image)), cy = int(image::height_of(&image));
    } else if (image.is(TYPE_BLOCK)) {
        const int32_t n = block::length_from_head(&image);
        for (int32_t i = 0; i < n && int(images.size()) < STATES; i++) {
            const Cell v = block::head_cell(const_cast<Cell*>(&image))[i];
            if (v.is(TYPE_IMAGE)) images.push_back(v);
        }
        double w = 0, h = 0;
        const Cell* size = face::facet(f, face::SIZE);
        if (n == 2 && block::head_cell(const_cast<Cell*>(&image))[1].is(TYPE_PAIR))
            size = block::head_cell(const_cast<Cell*>(&image)) + 1;
        xy_of(size, &w, &h);
        cx = to_pixels(w), cy = to_pixels(h);
        if (!images.empty())
            while (int(images.size()) < STATES) images.push_back(images.front());
    }
    BUTTON_IMAGELIST old;
    SendMessage(hwnd, BCM_GETIMAGELIST, 0, LPARAM(&old));
    HIMAGELIST list = HIMAGELIST_NONE;
    if (!images.empty() && cx > 0 && cy > 0) {
        list = ImageList_Create(cx, cy, ILC_COLOR32, int(images.size()), 0);
        for (const Cell& img : images) {
            cairo_surface_t* s = scaled_surface(&img, cx, cy);
            ImageList_Add(list, s, nullptr);
            if (s) cairo_surface_destroy(s);
        }
    }
    const uint32_t style = uint32_t(GetWindowLong(hwnd, GWL_STYLE));
    // without an image the caption stays
    const uint32_t with = list == HIMAGELIST_NONE ? style & ~BS_BITMAP : style | BS_BITMAP;
    SendMessage(hwnd, BM_SETSTYLE, with & 0xFFFF, 1);
    BUTTON_IMAGELIST none;
    none.himl = HIMAGELIST_NONE;
    SendMessage(hwnd, BCM_SETIMAGELIST, 0, LPARAM(&none));
    BUTTON_IMAGELIST made;
    made.himl = list;
    made.uAlign = BUTTON_IMAGELIST_ALIGN_CENTER;
    SendMessage(hwnd, BCM_SETIMAGELIST, 0, LPARAM(&made));
    if (old.himl && old.himl != HIMAGELIST_NONE) ImageList_Destroy(old.himl);
}

}  // namespace zun::gui::widget
