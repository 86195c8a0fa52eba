// The font dialog: the families fontconfig knows (through pango), the faces
// of the chosen family, sizes, and a sample drawn in the choice.
#include <pango/pangocairo.h>

#include <algorithm>
#include <string>

#include "platform/controls/control_draw.hpp"
#include "platform/controls/listbox.hpp"
#include "platform/dialogs/dialog_frame.hpp"

namespace zun::win::dialogs {

namespace {

struct Face {
    std::string name;
    int weight = 400;
    bool italic = false;
};

std::vector<std::string> families(bool mono) {
    PangoFontFamily** list = nullptr;
    int n = 0;
    pango_font_map_list_families(pango_cairo_font_map_get_default(), &list, &n);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        if (!mono || pango_font_family_is_monospace(list[i])) out.emplace_back(pango_font_family_get_name(list[i]));
    g_free(list);
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        const int c = g_ascii_strcasecmp(a.c_str(), b.c_str());
        return c ? c < 0 : a < b;
    });
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<Face> faces_of(const std::string& family) {
    std::vector<Face> out;
    PangoFontFamily** list = nullptr;
    int n = 0;
    pango_font_map_list_families(pango_cairo_font_map_get_default(), &list, &n);
    for (int i = 0; i < n; ++i) {
        if (family != pango_font_family_get_name(list[i])) continue;
        PangoFontFace** faces = nullptr;
        int m = 0;
        pango_font_family_list_faces(list[i], &faces, &m);
        for (int j = 0; j < m; ++j) {
            if (pango_font_face_is_synthesized(faces[j])) continue;
            PangoFontDescription* d = pango_font_face_describe(faces[j]);
            const PangoStyle style = pango_font_description_get_style(d);
            out.push_back(Face{pango_font_face_get_face_name(faces[j]), pango_font_description_get_weight(d),
                               style != PANGO_STYLE_NORMAL});
            pango_font_description_free(d);
        }
        g_free(faces);
        break;
    }
    g_free(list);
    std::sort(out.begin(), out.end(), [](const Face& a, const Face& b) {
        if (a.italic != b.italic) return !a.italic;
        if (a.weight != b.weight) return a.weight < b.weight;
        return a.name < b.name;
    });
    // one row per weight and slant: several widths would look alike here
    out.erase(std::unique(out.begin(), out.end(),
                          [](const Face& a, const Face& b) { return a.weight == b.weight && a.italic == b.italic; }),
              out.end());
    return out;
}

constexpr int k_sizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

class FontDialog final : public Dialog {
public:
    FontDialog(FontChoice* font, bool mono) : m_font(font) {
        m_families = families(mono);
        create("Font", 430, 300);
        add(WC_STATIC, "&Font:", SS_LEFT, 8, 8, 180, 16);
        m_family_list = add(WC_LISTBOX, "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 8, 26,
                            190, 150, ID_FAMILY, WS_EX_CLIENTEDGE);
        add(WC_STATIC, "Font st&yle:", SS_LEFT, 206, 8, 130, 16);
        m_face_list = add(WC_LISTBOX, "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 206, 26,
                          140, 150, ID_FACE, WS_EX_CLIENTEDGE);
        add(WC_STATIC, "&Size:", SS_LEFT, 354, 8, 68, 16);
        add(WC_EDIT, std::to_string(font->points), WS_TABSTOP | ES_AUTOHSCROLL, 354, 26, 68, 22, ID_SIZE, WS_EX_CLIENTEDGE);
        m_size_list = add(WC_LISTBOX, "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 354, 52, 68,
                          124, ID_SIZES, WS_EX_CLIENTEDGE);
        add(WC_BUTTON, "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 236, 268, 90, 24, IDOK);
        add(WC_BUTTON, "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 332, 268, 90, 24, IDCANCEL);
        for (const std::string& f : m_families)
            SendMessage(m_family_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.c_str()));
        for (int s : k_sizes)
            SendMessage(m_size_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_string(s).c_str()));
        const std::string start = font->family.empty() ? resolved_family("Courier New") : font->family;
        LRESULT at = SendMessage(m_family_list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(start.c_str()));
        if (at < 0) {
            const std::string resolved = resolved_family(start);
            at = SendMessage(m_family_list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(resolved.c_str()));
        }
        SendMessage(m_family_list, LB_SETCURSEL, static_cast<WPARAM>(std::max<LRESULT>(at, 0)), 0);
        fill_faces(font->weight, font->italic);
        select_size(font->points);
    }

private:
    HWND first_focus() const override { return m_family_list; }
    std::string family() const {
        const LRESULT i = SendMessage(m_family_list, LB_GETCURSEL, 0, 0);
        return i >= 0 ? row_text(m_family_list, static_cast<int>(i)) : std::string();
    }
    const Face* face() const {
        const LRESULT i = SendMessage(m_face_list, LB_GETCURSEL, 0, 0);
        return i >= 0 && i < static_cast<LRESULT>(m_faces.size()) ? &m_faces[static_cast<size_t>(i)] : nullptr;
    }
    int points() const {
        int v = 0;
        for (char c : text_of(item(ID_SIZE)))
            if (c >= '0' && c <= '9') v = std::min(v * 10 + (c - '0'), 1638);
        return v;
    }
    // The faces of the family, the nearest to a weight and slant selected.
    void fill_faces(int weight, bool italic) {
        m_faces = faces_of(family());
        SendMessage(m_face_list, LB_RESETCONTENT, 0, 0);
        int best = 0, best_cost = 1 << 30;
        for (size_t i = 0; i < m_faces.size(); ++i) {
            SendMessage(m_face_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_faces[i].name.c_str()));
            const int cost = std::abs(m_faces[i].weight - weight) + (m_faces[i].italic != italic ? 1000 : 0);
            if (cost < best_cost) best_cost = cost, best = static_cast<int>(i);
        }
        SendMessage(m_face_list, LB_SETCURSEL, static_cast<WPARAM>(best), 0);
        InvalidateRect(hwnd(), nullptr, false);
    }
    void select_size(int points) {
        const std::string s = std::to_string(points);
        SendMessage(m_size_list, LB_SETCURSEL,
                    static_cast<WPARAM>(SendMessage(m_size_list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                    reinterpret_cast<LPARAM>(s.c_str()))),
                    0);
    }
    void command(uint32_t id, UINT code, HWND) override {
        switch (id) {
            case IDOK:
                if (code == BN_CLICKED && points() > 0 && face()) {
                    m_font->family = family();
                    m_font->points = points();
                    m_font->weight = face()->weight;
                    m_font->italic = face()->italic;
                    end(true);
                }
                break;
            case IDCANCEL:
                if (code == BN_CLICKED) end(false);
                break;
            case ID_FAMILY:
                if (code == LBN_SELCHANGE) {
                    const Face* f = face();
                    fill_faces(f ? f->weight : 400, f && f->italic);
                }
                break;
            case ID_FACE: InvalidateRect(hwnd(), nullptr, false); break;
            case ID_SIZES:
                if (code == LBN_SELCHANGE) {
                    const LRESULT i = SendMessage(m_size_list, LB_GETCURSEL, 0, 0);
                    if (i >= 0) SetWindowText(item(ID_SIZE), row_text(m_size_list, static_cast<int>(i)));
                }
                break;
            case ID_SIZE:
                if (code == EN_CHANGE) InvalidateRect(hwnd(), nullptr, false);
                break;
            default: break;
        }
    }
    void paint(HDC cr) override {
        const RECT box{px(8), px(186), px(422), px(258)};
        controls::fill_rect(cr, box, controls::sys_colour(COLOR_WINDOW));
        controls::frame_rect(cr, box, controls::sys_colour(COLOR_BTNSHADOW));
        const Face* f = face();
        if (!f || points() <= 0) return;
        PangoLayout* layout = pango_cairo_create_layout(cr);
        pango_cairo_context_set_resolution(pango_layout_get_context(layout), 96.0 * px(96) / 96.0);
        pango_layout_context_changed(layout);
        PangoFontDescription* d = pango_font_description_new();
        const std::string fam = family();
        pango_font_description_set_family(d, fam.c_str());
        pango_font_description_set_weight(d, static_cast<PangoWeight>(f->weight));
        pango_font_description_set_style(d, f->italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        pango_font_description_set_size(d, std::min(points(), 72) * PANGO_SCALE);
        pango_layout_set_font_description(layout, d);
        pango_layout_set_text(layout, "AaBbYyZz", -1);
        int w = 0, h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        cairo_save(cr);
        cairo_rectangle(cr, box.left + 1, box.top + 1, box.width() - 2, box.height() - 2);
        cairo_clip(cr);
        controls::set_colour(cr, controls::sys_colour(COLOR_WINDOWTEXT));
        cairo_move_to(cr, box.left + (box.width() - w) / 2, box.top + (box.height() - h) / 2);
        pango_cairo_show_layout(cr, layout);
        cairo_restore(cr);
        pango_font_description_free(d);
        g_object_unref(layout);
    }

    FontChoice* m_font;
    std::vector<std::string> m_families;
    std::vector<Face> m_faces;
    HWND m_family_list = 0, m_face_list = 0, m_size_list = 0;
};

}  // namespace

std::string resolved_family(std::string_view name) {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontDescription* d = pango_font_description_new();
    const std::string n(name);
    pango_font_description_set_family(d, n.c_str());
    pango_font_description_set_size(d, 11 * PANGO_SCALE);
    std::string out = n;
    if (PangoFont* font = pango_font_map_load_font(map, context, d)) {
        PangoFontDescription* got = pango_font_describe(font);
        if (const char* fam = pango_font_description_get_family(got)) out = fam;
        pango_font_description_free(got);
        g_object_unref(font);
    }
    pango_font_description_free(d);
    g_object_unref(context);
    return out;
}

bool request_font(FontChoice* font, bool mono) {
    FontChoice choice = *font;
    FontDialog d(&choice, mono);
    if (!d.run()) return false;
    *font = choice;
    return true;
}

}  // namespace zun::win::dialogs
