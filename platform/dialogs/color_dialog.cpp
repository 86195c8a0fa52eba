// The colour dialog: basic and custom swatches, the hue and saturation plane
// with its lightness bar (drawn with cairo), the RGB and HSL fields and a
// preview. Hue, saturation and lightness count 0 .. 240 as the classic
// colour pickers do (hue 0 .. 239).
#include <algorithm>
#include <cmath>
#include <string>

#include "platform/controls/control_draw.hpp"
#include "platform/dialogs/dialog_frame.hpp"

namespace zun::win::dialogs {

namespace {

constexpr int HLS_MAX = 240;

struct Hsl {
    int h = 0, s = 0, l = 0;
};

double channel(double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

uint32_t rgb_of(const Hsl& c) {
    const double h = c.h / double(HLS_MAX), s = c.s / double(HLS_MAX), l = c.l / double(HLS_MAX);
    double r = l, g = l, b = l;
    if (s > 0) {
        const double q = l < 0.5 ? l * (1 + s) : l + s - l * s, p = 2 * l - q;
        r = channel(p, q, h + 1.0 / 3);
        g = channel(p, q, h);
        b = channel(p, q, h - 1.0 / 3);
    }
    auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return byte(r) << 16 | byte(g) << 8 | byte(b);
}

Hsl hsl_of(uint32_t rgb) {
    const double r = (rgb >> 16 & 0xFF) / 255.0, g = (rgb >> 8 & 0xFF) / 255.0, b = (rgb & 0xFF) / 255.0;
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b}), l = (hi + lo) / 2, d = hi - lo;
    double h = 0, s = 0;
    if (d > 0) {
        s = l > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
        if (hi == r) h = (g - b) / d + (g < b ? 6 : 0);
        else if (hi == g) h = (b - r) / d + 2;
        else h = (r - g) / d + 4;
        h /= 6;
    }
    Hsl out{static_cast<int>(std::lround(h * HLS_MAX)) % HLS_MAX, static_cast<int>(std::lround(s * HLS_MAX)),
            static_cast<int>(std::lround(l * HLS_MAX))};
    return out;
}

// Six rows of eight: light tints, full hues, darker shades, the darkest,
// then mid tones and greys.
const uint32_t* basic_colours() {
    static uint32_t k[48];
    static bool made = false;
    if (!made) {
        const int hues[8] = {0, 20, 40, 80, 120, 140, 160, 200};
        const int lums[5] = {200, 120, 90, 60, 30};
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 8; ++col) k[row * 8 + col] = rgb_of(Hsl{hues[col], row == 4 ? 120 : 240, lums[row]});
        const uint32_t greys[8] = {0x000000, 0x404040, 0x808080, 0xA0A0A0, 0xC0C0C0, 0xE0E0E0, 0x808000, 0xFFFFFF};
        for (int col = 0; col < 8; ++col) k[40 + col] = greys[col];
        made = true;
    }
    return k;
}

void set_rgb(cairo_t* cr, uint32_t rgb) {
    cairo_set_source_rgb(cr, (rgb >> 16 & 0xFF) / 255.0, (rgb >> 8 & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

class ColorDialog final : public Dialog {
public:
    ColorDialog(uint32_t initial, const std::vector<uint32_t>& custom, uint32_t* out) : m_out(out) {
        for (int i = 0; i < 16; ++i) m_custom[i] = i < static_cast<int>(custom.size()) ? custom[i] & 0xFFFFFF : 0xFFFFFF;
        m_rgb = initial & 0xFFFFFF;
        m_hsl = hsl_of(m_rgb);
        create("Color", 452, 300);
        add(WC_STATIC, "&Basic colors:", SS_LEFT, 8, 6, 200, 16);
        add(WC_STATIC, "&Custom colors:", SS_LEFT, 8, 176, 200, 16);
        add(WC_BUTTON, "&Add to Custom Colors", WS_TABSTOP | BS_PUSHBUTTON, 226, 236, 218, 24, ID_ADD_CUSTOM);
        const char* labels[6] = {"Hu&e:", "&Sat:", "&Lum:", "&Red:", "&Green:", "Bl&ue:"};
        const uint32_t ids[6] = {ID_HUE, ID_SAT, ID_LUM, ID_RED, ID_GREEN, ID_BLUE};
        for (int i = 0; i < 6; ++i) {
            const int x = i < 3 ? 296 : 380, y = 170 + (i % 3) * 22;
            add(WC_STATIC, labels[i], SS_RIGHT | SS_CENTERIMAGE, x - 4, y, 40, 20);
            add(WC_EDIT, "", WS_TABSTOP | ES_AUTOHSCROLL, x + 38, y, 34, 20, ids[i], WS_EX_CLIENTEDGE);
        }
        add(WC_BUTTON, "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 8, 268, 100, 24, IDOK);
        add(WC_BUTTON, "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 114, 268, 100, 24, IDCANCEL);
        show_fields();
    }

private:
    HWND first_focus() const override { return item(IDOK); }
    // Areas in logical units.
    static constexpr RECT k_basic{8, 24, 216, 168}, k_custom{8, 194, 216, 230}, k_plane{226, 8, 426, 158},
                          k_bar{432, 8, 444, 158}, k_preview{226, 166, 286, 228};
    RECT scaled(const RECT& r) const { return RECT{px(r.left), px(r.top), px(r.right), px(r.bottom)}; }
    static RECT cell(const RECT& grid, int cols, int rows, int i) {
        const int w = grid.width() / cols, h = grid.height() / rows;
        const int x = grid.left + (i % cols) * w, y = grid.top + (i / cols) * h;
        return RECT{x + 2, y + 2, x + w - 2, y + h - 2};
    }
    void show_fields() {
        m_updating = true;
        const int values[6] = {m_hsl.h, m_hsl.s, m_hsl.l, int(m_rgb >> 16 & 0xFF), int(m_rgb >> 8 & 0xFF),
                               int(m_rgb & 0xFF)};
        const uint32_t ids[6] = {ID_HUE, ID_SAT, ID_LUM, ID_RED, ID_GREEN, ID_BLUE};
        for (int i = 0; i < 6; ++i)
            if (GetFocus() != item(ids[i]) || text_of(item(ids[i])).empty())
                SetWindowText(item(ids[i]), std::to_string(values[i]));
        m_updating = false;
        InvalidateRect(hwnd(), nullptr, false);
    }
    void set_colour(uint32_t rgb) {
        m_rgb = rgb & 0xFFFFFF;
        m_hsl = hsl_of(m_rgb);
        show_fields();
    }
    void set_hsl(Hsl c) {
        m_hsl = c;
        m_rgb = rgb_of(c);
        show_fields();
    }
    int field(uint32_t id, int hi) const {
        const std::string t = text_of(item(id));
        int v = 0;
        for (char c : t)
            if (c >= '0' && c <= '9') v = std::min(v * 10 + (c - '0'), 100000);
        return std::clamp(v, 0, hi);
    }
    void field_changed(uint32_t id) {
        if (m_updating) return;
        if (id >= ID_HUE) {
            m_hsl = Hsl{field(ID_HUE, HLS_MAX - 1), field(ID_SAT, HLS_MAX), field(ID_LUM, HLS_MAX)};
            m_rgb = rgb_of(m_hsl);
        } else {
            m_rgb = uint32_t(field(ID_RED, 255)) << 16 | uint32_t(field(ID_GREEN, 255)) << 8 | uint32_t(field(ID_BLUE, 255));
            m_hsl = hsl_of(m_rgb);
        }
        show_fields();
    }
    void command(uint32_t id, UINT code, HWND) override {
        if (id == IDOK && code == BN_CLICKED) {
            *m_out = m_rgb;
            end(true);
        } else if (id == IDCANCEL && code == BN_CLICKED) {
            end(false);
        } else if (id == ID_ADD_CUSTOM && code == BN_CLICKED) {
            m_custom[m_next_custom] = m_rgb;
            m_next_custom = (m_next_custom + 1) % 16;
            InvalidateRect(hwnd(), nullptr, false);
        } else if (id >= ID_RED && id <= ID_LUM && code == EN_CHANGE) {
            field_changed(id);
        }
    }
    void pointer(UINT msg, POINT p) override {
        const RECT basic = scaled(k_basic), custom = scaled(k_custom), plane = scaled(k_plane), bar = scaled(k_bar);
        if (msg == WM_LBUTTONDOWN) m_drag = controls::inside(plane, p.x, p.y) ? 1 : controls::inside(bar, p.x, p.y) ? 2 : 0;
        if (m_drag == 1) {
            const int h = (std::clamp(p.x, plane.left, plane.right - 1) - plane.left) * (HLS_MAX - 1) / std::max(1, plane.width() - 1);
            const int s = HLS_MAX - (std::clamp(p.y, plane.top, plane.bottom - 1) - plane.top) * HLS_MAX / std::max(1, plane.height() - 1);
            set_hsl(Hsl{h, s, m_hsl.l == 0 || m_hsl.l == HLS_MAX ? HLS_MAX / 2 : m_hsl.l});
            return;
        }
        if (m_drag == 2) {
            const int l = HLS_MAX - (std::clamp(p.y, bar.top, bar.bottom - 1) - bar.top) * HLS_MAX / std::max(1, bar.height() - 1);
            set_hsl(Hsl{m_hsl.h, m_hsl.s, l});
            return;
        }
        if (msg != WM_LBUTTONDOWN) return;
        for (int i = 0; i < 48; ++i)
            if (controls::inside(cell(basic, 8, 6, i), p.x, p.y)) return set_colour(basic_colours()[i]);
        for (int i = 0; i < 16; ++i)
            if (controls::inside(cell(custom, 8, 2, i), p.x, p.y)) return set_colour(m_custom[i]);
    }
    void paint(HDC cr) override {
        const RECT basic = scaled(k_basic), custom = scaled(k_custom), plane = scaled(k_plane), bar = scaled(k_bar),
                   preview = scaled(k_preview);
        auto swatch = [&](const RECT& r, uint32_t rgb, bool current) {
            set_rgb(cr, rgb);
            cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
            cairo_fill(cr);
            controls::frame_rect(cr, r, current ? 0x000000 : controls::sys_colour(COLOR_BTNSHADOW));
        };
        for (int i = 0; i < 48; ++i) swatch(cell(basic, 8, 6, i), basic_colours()[i], basic_colours()[i] == m_rgb);
        for (int i = 0; i < 16; ++i) swatch(cell(custom, 8, 2, i), m_custom[i], false);
        // the plane: hue across, saturation up, at mid lightness
        cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_RGB24, plane.width(), plane.height());
        uint32_t* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(img));
        const int stride = cairo_image_surface_get_stride(img) / 4;
        for (int y = 0; y < plane.height(); ++y)
            for (int x = 0; x < plane.width(); ++x)
                data[y * stride + x] = rgb_of(Hsl{x * (HLS_MAX - 1) / std::max(1, plane.width() - 1),
                                                  HLS_MAX - y * HLS_MAX / std::max(1, plane.height() - 1), HLS_MAX / 2});
        cairo_surface_mark_dirty(img);
        cairo_set_source_surface(cr, img, plane.left, plane.top);
        cairo_paint(cr);
        cairo_surface_destroy(img);
        // the cross at the current hue and saturation
        const double cx = plane.left + m_hsl.h * (plane.width() - 1) / double(HLS_MAX - 1);
        const double cy = plane.top + (HLS_MAX - m_hsl.s) * (plane.height() - 1) / double(HLS_MAX);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, cx - 6, cy + 0.5);
        cairo_line_to(cr, cx + 7, cy + 0.5);
        cairo_move_to(cr, cx + 0.5, cy - 6);
        cairo_line_to(cr, cx + 0.5, cy + 7);
        cairo_stroke(cr);
        // the lightness bar of the current hue and saturation, light at the top
        for (int y = 0; y < bar.height(); ++y) {
            set_rgb(cr, rgb_of(Hsl{m_hsl.h, m_hsl.s, HLS_MAX - y * HLS_MAX / std::max(1, bar.height() - 1)}));
            cairo_rectangle(cr, bar.left, bar.top + y, bar.width(), 1);
            cairo_fill(cr);
        }
        const double ly = bar.top + (HLS_MAX - m_hsl.l) * (bar.height() - 1) / double(HLS_MAX);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, bar.right + 1, ly);
        cairo_line_to(cr, bar.right + px(6), ly - px(4));
        cairo_line_to(cr, bar.right + px(6), ly + px(4));
        cairo_close_path(cr);
        cairo_fill(cr);
        swatch(preview, m_rgb, false);
    }

    uint32_t* m_out;
    uint32_t m_custom[16];
    uint32_t m_rgb = 0;
    Hsl m_hsl;
    int m_next_custom = 0, m_drag = 0;
    bool m_updating = false;
};

}  // namespace

bool request_color(uint32_t initial, const std::vector<uint32_t>& custom, uint32_t* chosen) {
    ColorDialog d(initial, custom, chosen);
    return d.run();
}

}  // namespace zun::win::dialogs
