#include "platform/display_memory.hpp"

#include <poll.h>

#include <algorithm>
#include <cstdlib>

#include "platform/keys.hpp"

namespace zun::win {

namespace {

bool parse_int(std::string_view& s, int32_t* out) {
    size_t i = 0;
    bool neg = !s.empty() && s[0] == '-';
    if (neg) ++i;
    int64_t v = 0;
    size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 1000000) v = v * 10 + (s[i++] - '0');
    if (i == start) return false;
    *out = static_cast<int32_t>(neg ? -v : v);
    s.remove_prefix(i);
    return true;
}

bool eat(std::string_view& s, char c) {
    if (s.empty() || s[0] != c) return false;
    s.remove_prefix(1);
    return true;
}

// One monitor: WxH[+X+Y][@DPI]
bool parse_monitor(std::string_view s, Monitor* m) {
    int32_t w, h, x = 0, y = 0, dpi = 96;
    if (!parse_int(s, &w) || !eat(s, 'x') || !parse_int(s, &h) || w <= 0 || h <= 0) return false;
    if (eat(s, '+')) {
        if (!parse_int(s, &x) || !eat(s, '+') || !parse_int(s, &y)) return false;
    }
    if (eat(s, '@') && (!parse_int(s, &dpi) || dpi < 24 || dpi > 960)) return false;
    if (!s.empty()) return false;
    m->rect = {x, y, x + w, y + h};
    m->dpi = static_cast<uint32_t>(dpi);
    return true;
}

uint32_t modifier_bit(uint32_t keysym) {
    switch (keysym) {
        case 0xFFE1: case 0xFFE2: return MOD_SHIFT;
        case 0xFFE3: case 0xFFE4: return MOD_CONTROL;
        case 0xFFE9: case 0xFFEA: return MOD_ALT;
        case 0xFE03: return MOD_ALTGR;
        case 0xFFEB: case 0xFFEC: return MOD_SUPER;
        default: return 0;
    }
}

uint32_t button_bit(int button) {
    switch (button) {
        case 1: return MOD_BUTTON_LEFT;
        case 2: return MOD_BUTTON_MIDDLE;
        case 3: return MOD_BUTTON_RIGHT;
        case 8: return MOD_BUTTON_X1;
        case 9: return MOD_BUTTON_X2;
        default: return 0;
    }
}

// "ctrl", "shift", "alt", "altgr", "super" as in xdotool's key names.
uint32_t modifier_keysym(std::string_view name) {
    if (name == "ctrl" || name == "control") return 0xFFE3;
    if (name == "shift") return 0xFFE1;
    if (name == "alt") return 0xFFE9;
    if (name == "altgr") return 0xFE03;
    if (name == "super") return 0xFFEB;
    return 0;
}

}  // namespace

bool MemoryDisplay::parse_monitors(std::string_view spec, std::vector<Monitor>* out) {
    out->clear();
    if (spec.empty()) {
        out->push_back({{0, 0, 1024, 768}, 96, "memory-0"});
        return true;
    }
    while (!spec.empty()) {
        size_t comma = spec.find(',');
        Monitor m;
        if (!parse_monitor(spec.substr(0, comma), &m)) return false;
        m.name = "memory-" + std::to_string(out->size());
        out->push_back(m);
        if (comma == std::string_view::npos) break;
        spec.remove_prefix(comma + 1);
    }
    return !out->empty();
}

MemoryDisplay::MemoryDisplay(std::vector<Monitor> monitors) : m_monitors(std::move(monitors)) {
    if (m_monitors.empty()) parse_monitors("", &m_monitors);
    m_settings.dpi = m_monitors.front().dpi;
}

MemoryDisplay::~MemoryDisplay() {
    for (auto& [h, t] : m_tops)
        if (t.pixels) cairo_surface_destroy(t.pixels);
}

// ---- queued input -------------------------------------------------------------

void MemoryDisplay::move(int32_t x, int32_t y) { queue(act(Action::Move, 0, x, y)); }
void MemoryDisplay::press(int button) { queue(act(Action::Button, 0, button, 1)); }
void MemoryDisplay::release(int button) { queue(act(Action::Button, 0, button, 0)); }
void MemoryDisplay::click(int32_t x, int32_t y, int button) {
    move(x, y);
    press(button);
    release(button);
}
void MemoryDisplay::wheel(int clicks) {
    for (int i = 0; i < std::abs(clicks); ++i) {
        press(clicks > 0 ? 4 : 5);
        release(clicks > 0 ? 4 : 5);
    }
}

void MemoryDisplay::key(std::string_view combo) {
    std::vector<std::string_view> mods;
    while (true) {
        size_t plus = combo.find('+');
        if (plus == std::string_view::npos || plus + 1 >= combo.size()) break;
        mods.push_back(combo.substr(0, plus));
        combo.remove_prefix(plus + 1);
    }
    std::vector<std::string> names;
    for (std::string_view m : mods) {
        uint32_t ks = modifier_keysym(m);
        names.push_back(ks ? std::string(ks == 0xFFE3 ? "Control_L" : ks == 0xFFE1 ? "Shift_L" : ks == 0xFFE9 ? "Alt_L" : ks == 0xFE03 ? "ISO_Level3_Shift" : "Super_L")
                           : std::string(m));
    }
    for (const std::string& n : names) key_down(n);
    key_down(combo);
    key_up(combo);
    for (auto it = names.rbegin(); it != names.rend(); ++it) key_up(*it);
}

void MemoryDisplay::key_down(std::string_view name, std::string_view text, bool text_known) {
    Action a = act(Action::Key);
    a.a = static_cast<int32_t>(keysym_from_name(name));
    a.b = 1;
    a.text = text;
    a.flag = text_known || !text.empty();
    queue(std::move(a));
}

void MemoryDisplay::key_up(std::string_view name) {
    queue(act(Action::Key, 0, static_cast<int32_t>(keysym_from_name(name)), 0));
}

void MemoryDisplay::commit_text(std::string_view utf8) {
    Action a = act(Action::Text);
    a.text = utf8;
    queue(std::move(a));
}

void MemoryDisplay::compose(HWND top, std::string_view preedit) {
    Action a = act(Action::Compose, top);
    a.text = preedit;
    queue(std::move(a));
}

void MemoryDisplay::close_request(HWND top) { queue(act(Action::Close, top)); }
void MemoryDisplay::minimize(HWND top) { queue(act(Action::SysCommand, top, static_cast<int32_t>(SC_MINIMIZE))); }
void MemoryDisplay::maximize(HWND top) { queue(act(Action::SysCommand, top, static_cast<int32_t>(SC_MAXIMIZE))); }
void MemoryDisplay::restore(HWND top) { queue(act(Action::SysCommand, top, static_cast<int32_t>(SC_RESTORE))); }
void MemoryDisplay::activate_window(HWND top) { queue(act(Action::Activate, top)); }
void MemoryDisplay::begin_size_move(HWND top, bool resizing) {
    Action a = act(Action::SizeMoveBegin, top);
    a.flag = resizing;
    queue(std::move(a));
}
void MemoryDisplay::size_move_to(HWND top, RECT rect) {
    Action a = act(Action::SizeMoveTo, top);
    a.rect = rect;
    queue(std::move(a));
}
void MemoryDisplay::end_size_move(HWND top) { queue(act(Action::SizeMoveEnd, top)); }
void MemoryDisplay::advance(uint64_t ms) {
    Action a = act(Action::Advance);
    a.ms = ms;
    queue(std::move(a));
}

void MemoryDisplay::tick(uint64_t ms) { m_clock += ms; }

void MemoryDisplay::set_monitors(std::vector<Monitor> monitors) {
    if (monitors.empty()) return;
    m_monitors = std::move(monitors);
    from_display::monitors_changed();
}

void MemoryDisplay::set_settings(const DesktopSettings& settings) {
    m_settings = settings;
    from_display::settings_changed();
}

void MemoryDisplay::modifier(uint32_t keysym, bool down) {
    uint32_t bit = modifier_bit(keysym);
    m_mods = down ? (m_mods | bit) : (m_mods & ~bit);
}

void MemoryDisplay::run(const Action& a) {
    switch (a.kind) {
        case Action::Move:
            m_pointer = {a.a, a.b};
            from_display::pointer_move(m_pointer, m_mods);
            break;
        case Action::Button: {
            uint32_t before = m_mods;
            uint32_t bit = button_bit(a.a);
            m_mods = a.b ? (m_mods | bit) : (m_mods & ~bit);
            from_display::button(m_pointer, a.a, a.b != 0, before);
            break;
        }
        case Action::Key: {
            auto keysym = static_cast<uint32_t>(a.a);
            uint32_t before = m_mods;
            if (a.b) modifier(keysym, true);
            char32_t text = 0;
            if (a.flag) {
                std::u32string t = utf8_to_utf32(a.text);
                text = t.empty() ? 0 : t[0];
            }
            from_display::key(keysym, a.b != 0, a.b ? before : m_mods, text, a.flag, 0);
            if (!a.b) modifier(keysym, false);
            break;
        }
        case Action::Text: from_display::text(utf8_to_utf32(a.text)); break;
        case Action::Compose:
            m_preedit = utf8_to_utf32(a.text);
            from_display::composition(a.top, m_preedit, !m_preedit.empty());
            break;
        case Action::Close: from_display::close_request(a.top); break;
        case Action::SysCommand: from_display::syscommand(a.top, static_cast<WPARAM>(a.a)); break;
        case Action::Activate:
            if (m_tops.count(a.top)) {
                restack_front(a.top);
                from_display::focus(a.top, true);
            }
            break;
        case Action::SizeMoveBegin: from_display::size_move(a.top, true, a.flag); break;
        case Action::SizeMoveTo: {
            auto it = m_tops.find(a.top);
            bool resizing = it != m_tops.end() && (it->second.state.rect.width() != a.rect.width() ||
                                                   it->second.state.rect.height() != a.rect.height());
            from_display::moving(a.top, a.rect, resizing);
            break;
        }
        case Action::SizeMoveEnd: from_display::size_move(a.top, false, false); break;
        case Action::Advance: break;
    }
}

// One action a turn: the layer takes what it made before the next arrives,
// as when a person acts.
void MemoryDisplay::pump() {
    if (!m_actions.empty() && m_actions.front().kind != Action::Advance) {
        Action a = std::move(m_actions.front());
        m_actions.pop_front();
        run(a);
    }
}

bool MemoryDisplay::wait(uint64_t deadline, int wake_fd) {
    if (!m_actions.empty()) {
        Action& a = m_actions.front();
        if (a.kind != Action::Advance) return true;
        // The clock runs to the next timer or through the queued step.
        uint64_t step = deadline && deadline > m_clock ? std::min(a.ms, deadline - m_clock) : a.ms;
        if (deadline && deadline <= m_clock) step = 0;
        m_clock += step;
        a.ms -= step;
        if (a.ms == 0) m_actions.pop_front();
        return true;
    }
    if (deadline) {
        m_clock = std::max(m_clock, deadline);
        return true;
    }
    pollfd p{wake_fd, POLLIN, 0};
    return wake_fd >= 0 && ::poll(&p, 1, 0) > 0;
}

// ---- what the layer shows -----------------------------------------------------

void MemoryDisplay::restack_front(HWND hwnd) {
    m_z.erase(std::remove(m_z.begin(), m_z.end(), hwnd), m_z.end());
    m_z.insert(m_z.begin(), hwnd);
}

void MemoryDisplay::create_toplevel(HWND hwnd, const TopLevelState& state) {
    Top& t = m_tops[hwnd];
    t.state = state;
    m_z.insert(m_z.begin(), hwnd);
}

void MemoryDisplay::destroy_toplevel(HWND hwnd) {
    auto it = m_tops.find(hwnd);
    if (it == m_tops.end()) return;
    if (it->second.pixels) cairo_surface_destroy(it->second.pixels);
    m_tops.erase(it);
    m_z.erase(std::remove(m_z.begin(), m_z.end(), hwnd), m_z.end());
    if (m_active == hwnd) m_active = 0;
    if (m_grab == hwnd) m_grab = 0;
    if (m_key_grab == hwnd) m_key_grab = 0;
}

void MemoryDisplay::update_toplevel(HWND hwnd, const TopLevelState& state) {
    auto it = m_tops.find(hwnd);
    if (it != m_tops.end()) it->second.state = state;
}

void MemoryDisplay::restack(const std::vector<HWND>& front_to_back) { m_z = front_to_back; }

void MemoryDisplay::activate(HWND hwnd) {
    m_active = hwnd;
    if (m_tops.count(hwnd)) restack_front(hwnd);
}

void MemoryDisplay::set_cursor(HWND hwnd, HCURSOR cursor) {
    auto it = m_tops.find(hwnd);
    if (it != m_tops.end()) it->second.cursor = cursor;
}

void MemoryDisplay::grab_pointer(HWND hwnd) {
    if (m_grab && m_tops.count(m_grab)) m_tops[m_grab].grabbed = false;
    m_grab = hwnd;
    if (hwnd && m_tops.count(hwnd)) m_tops[hwnd].grabbed = true;
}

void MemoryDisplay::set_caret(HWND hwnd, RECT screen_rect) {
    m_caret_window = hwnd;
    m_caret = screen_rect;
}

void MemoryDisplay::set_composition_font(HWND hwnd, const CompositionFont& font) {
    m_composition_font_window = hwnd;
    m_composition_font = font;
}

void MemoryDisplay::present(HWND hwnd, cairo_surface_t* composition, const RECT& damage) {
    auto it = m_tops.find(hwnd);
    if (it == m_tops.end()) return;
    Top& t = it->second;
    int w = cairo_image_surface_get_width(composition), h = cairo_image_surface_get_height(composition);
    if (!t.pixels || cairo_image_surface_get_width(t.pixels) != w || cairo_image_surface_get_height(t.pixels) != h) {
        if (t.pixels) cairo_surface_destroy(t.pixels);
        t.pixels = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    }
    cairo_t* cr = cairo_create(t.pixels);
    cairo_rectangle(cr, damage.left, damage.top, damage.width(), damage.height());
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, composition, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(t.pixels);
    ++t.presents;
    t.last_damage = damage;
}

const MemoryDisplay::Top* MemoryDisplay::top(HWND hwnd) const {
    auto it = m_tops.find(hwnd);
    return it == m_tops.end() ? nullptr : &it->second;
}

uint32_t MemoryDisplay::pixel(HWND hwnd, int32_t x, int32_t y) const {
    const Top* t = top(hwnd);
    if (!t || !t->pixels || x < 0 || y < 0 || x >= cairo_image_surface_get_width(t->pixels) ||
        y >= cairo_image_surface_get_height(t->pixels))
        return 0;
    const unsigned char* row = cairo_image_surface_get_data(t->pixels) + y * cairo_image_surface_get_stride(t->pixels);
    return reinterpret_cast<const uint32_t*>(row)[x];
}

}  // namespace zun::win
