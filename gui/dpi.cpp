// The current DPI the backend converts logical units with, its scopes, and
// the DPI of windows, monitors and the pointer.
#include <algorithm>
#include <cmath>

#include "gui/face.hpp"
#include "gui/font.hpp"

namespace zun::gui {

using namespace win;

namespace {
int32_t g_dpi = 96;
double g_scale = 1.0;
int32_t g_scopes = 0;
}  // namespace

double scale() { return g_scale; }
int32_t current_dpi() { return g_dpi; }

void set_dpi(int32_t dpi) {
    g_dpi = dpi > 0 ? dpi : 96;
    g_scale = g_dpi / 96.0;
    set_screen_dpi(g_dpi);  // fonts made from now on
}

int32_t truncated(double v) {
    constexpr double far = double(1 << 24);
    return std::isnan(v) ? 0 : int32_t(std::trunc(std::clamp(v, -far, far)));
}

int32_t to_pixels(double logical) { return truncated(logical * g_scale + 0.5); }
double to_logical(int32_t pixels) { return pixels / g_scale; }

int32_t window_dpi(HWND hwnd) {
    const uint32_t dpi = is_open() && IsWindow(hwnd) ? GetDpiForWindow(GetAncestor(hwnd, GA_ROOT)) : 0;
    return dpi ? int32_t(dpi) : g_dpi;
}

void sync_window_dpi(HWND hwnd) { set_dpi(window_dpi(hwnd)); }

int32_t dpi_context_push(HWND hwnd) {
    g_scopes++;
    const int32_t saved = g_dpi;
    if (hwnd) set_dpi(window_dpi(hwnd));
    return saved;
}

void dpi_context_pop(int32_t saved) {
    g_scopes = std::max(0, g_scopes - 1);
    if (saved == g_dpi) return;
    const HWND active = is_open() ? GetActiveWindow() : 0;
    if (g_scopes == 0 && active && IsWindowVisible(active)) set_dpi(window_dpi(active));
    else set_dpi(saved);
}

int32_t cursor_monitor_dpi() {
    if (!is_open()) return g_dpi;
    POINT p;
    GetCursorPos(&p);
    const uint32_t dpi = GetDpiForMonitor(MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST));
    return dpi ? int32_t(dpi) : g_dpi;
}

// Up to four rounds: the rectangle at the current scale picks a monitor whose
// DPI becomes current; still moving after the fourth, the pointer's monitor
// decides.
void target_monitor_dpi(double x, double y, double width, double height) {
    if (!is_open()) return;
    for (int round = 0; round < 4; ++round) {
        const int32_t left = to_pixels(x), top = to_pixels(y);
        const RECT r{left, top, left + to_pixels(width), top + to_pixels(height)};
        const int32_t dpi = int32_t(GetDpiForMonitor(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST)));
        if (dpi == 0 || dpi == g_dpi) return;
        set_dpi(dpi);
    }
    set_dpi(cursor_monitor_dpi());
}

}  // namespace zun::gui
