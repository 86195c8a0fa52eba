#include "platform/controls/imagelist.hpp"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

namespace zun::win {

namespace {

struct SurfaceRef {
    cairo_surface_t* s;
    explicit SurfaceRef(cairo_surface_t* surface) : s(surface) {}
    SurfaceRef(SurfaceRef&& o) noexcept : s(o.s) { o.s = nullptr; }
    SurfaceRef& operator=(SurfaceRef&& o) noexcept {
        std::swap(s, o.s);
        return *this;
    }
    ~SurfaceRef() {
        if (s) cairo_surface_destroy(s);
    }
};

struct ImageList {
    int cx, cy;
    std::vector<SurfaceRef> images;
};

struct ListTable {
    std::unordered_map<HIMAGELIST, std::unique_ptr<ImageList>> lists;
    HIMAGELIST next = 1;
};

ListTable& table() {
    static ListTable t;
    return t;
}

ImageList* find(HIMAGELIST list) {
    auto& lists = table().lists;
    auto it = lists.find(list);
    return it == lists.end() ? nullptr : it->second.get();
}

bool usable(cairo_surface_t* s) {
    return s && cairo_surface_status(s) == CAIRO_STATUS_SUCCESS &&
           cairo_surface_get_type(s) == CAIRO_SURFACE_TYPE_IMAGE && cairo_image_surface_get_width(s) > 0 &&
           cairo_image_surface_get_height(s) > 0;
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT, int initial, int) {
    if (cx <= 0 || cy <= 0) return 0;
    ListTable& t = table();
    auto list = std::make_unique<ImageList>();
    list->cx = cx;
    list->cy = cy;
    list->images.reserve(static_cast<size_t>(std::clamp(initial, 0, 256)));
    HIMAGELIST handle = t.next++;
    t.lists.emplace(handle, std::move(list));
    return handle;
}

bool ImageList_Destroy(HIMAGELIST list) { return table().lists.erase(list) != 0; }

int ImageList_Add(HIMAGELIST handle, cairo_surface_t* image, cairo_surface_t*) {
    ImageList* list = find(handle);
    if (!list || !usable(image)) return -1;
    int width = cairo_image_surface_get_width(image);
    int pieces = std::max(1, width / list->cx);
    int first = static_cast<int>(list->images.size());
    for (int i = 0; i < pieces; ++i) {
        cairo_surface_t* piece = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, list->cx, list->cy);
        cairo_t* cr = cairo_create(piece);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, image, -i * list->cx, 0);
        cairo_rectangle(cr, 0, 0, list->cx, list->cy);
        cairo_fill(cr);
        cairo_destroy(cr);
        list->images.emplace_back(piece);
    }
    return first;
}

bool ImageList_Remove(HIMAGELIST handle, int index) {
    ImageList* list = find(handle);
    if (!list) return false;
    if (index == -1) {
        list->images.clear();
        return true;
    }
    if (index < 0 || index >= static_cast<int>(list->images.size())) return false;
    list->images.erase(list->images.begin() + index);
    return true;
}

int ImageList_GetImageCount(HIMAGELIST handle) {
    ImageList* list = find(handle);
    return list ? static_cast<int>(list->images.size()) : 0;
}

bool ImageList_GetIconSize(HIMAGELIST handle, int* cx, int* cy) {
    ImageList* list = find(handle);
    if (!list) return false;
    if (cx) *cx = list->cx;
    if (cy) *cy = list->cy;
    return true;
}

cairo_surface_t* ImageList_GetImage(HIMAGELIST handle, int index) {
    ImageList* list = find(handle);
    if (!list || index < 0 || index >= static_cast<int>(list->images.size())) return nullptr;
    return list->images[static_cast<size_t>(index)].s;
}

bool ImageList_Draw(HIMAGELIST handle, int index, HDC dc, int x, int y, UINT) {
    cairo_surface_t* image = ImageList_GetImage(handle, index);
    if (!image || !dc) return false;
    cairo_save(dc);
    cairo_set_source_surface(dc, image, x, y);
    cairo_paint(dc);
    cairo_restore(dc);
    return true;
}

}  // namespace zun::win
