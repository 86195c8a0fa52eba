// One key typed into an area of 10,000 lines and the repaint that follows,
// on the in-memory display, as a share of a 16 ms frame (aim: under half),
// unwrapped (with both bars) and word-wrapped; peak memory beside it.
//   cmake --build build --target edit_bench && build/edit_bench
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/controls/edit.hpp"
#include "platform/display_memory.hpp"

using namespace zun::win;

namespace {

std::string ten_thousand_lines() {
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += "Line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog, again and again.\n";
    return text;
}

double ms_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Median of the keys' times, each a WM_CHAR and the repaint it asks for.
void run(const char* title, uint32_t style, const std::string& text) {
    HWND top = CreateWindowEx(0, "STATIC", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, 0);
    HWND area = CreateWindowEx(WS_EX_CLIENTEDGE, WC_EDIT, "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | style, 10, 10,
                               760, 540, top, 1);
    SendMessage(area, EM_SETLIMITTEXT, 0, 0);  // as the GUI makes room for its text
    auto t0 = std::chrono::steady_clock::now();
    SetWindowText(area, text);
    UpdateWindow(area);
    double set_ms = ms_since(t0);
    SetFocus(area);
    SendMessage(area, EM_SETSEL, 300000, 300000);
    SendMessage(area, EM_SCROLLCARET, 0, 0);
    UpdateWindow(area);
    std::vector<double> times;
    for (int i = 0; i < 500; ++i) {
        t0 = std::chrono::steady_clock::now();
        SendMessage(area, WM_CHAR, i % 10 == 9 ? ' ' : 'a' + i % 26, 1);
        UpdateWindow(area);
        flush_display();  // composed and shown, as a loop turn ends
        times.push_back(ms_since(t0));
    }
    std::sort(times.begin(), times.end());
    double median = times[times.size() / 2];
    std::printf("%-34s key + repaint %.3f ms = %.3f of a 16 ms frame (p90 %.3f ms); setting the text %.1f ms\n", title,
                median, median / 16.0, times[times.size() * 9 / 10], set_ms);
    DestroyWindow(top);
}

}  // namespace

int main() {
    if (!open(std::make_unique<MemoryDisplay>())) return 1;
    register_system_controls();
    std::string text = ten_thousand_lines();
    run("warming up (fonts loaded)", ES_AUTOVSCROLL | WS_VSCROLL, text.substr(0, 1000));
    run("10,000 lines, unwrapped, two bars", ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL, text);
    run("10,000 lines, word-wrapped", ES_AUTOVSCROLL | WS_VSCROLL, text);
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak memory %.1f MB\n", ru.ru_maxrss / 1024.0);
    close();
    return 0;
}
