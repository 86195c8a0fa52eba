// The standard dialogs on the in-memory display, driven through their
// controls by queued input over a small folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/controls/combobox.hpp"
#include "platform/controls/control_draw.hpp"
#include "platform/controls/listbox.hpp"
#include "platform/dialogs/dialogs.hpp"
#include "platform/display_memory.hpp"

namespace {

using namespace zun::win;
namespace dlg = zun::win::dialogs;
namespace fs = std::filesystem;

// What a test does once the dialog shows: queue input, look at controls.
std::function<void(HWND)> g_on_open;
void on_open(HWND d) {
    if (g_on_open) g_on_open(d);
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        auto d = std::make_unique<MemoryDisplay>();
        m = d.get();
        ASSERT_TRUE(open(std::move(d)));
        register_system_controls();
        char pattern[] = "/tmp/zun-dialogs-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        dir = pattern;
        for (const char* f : {"a.txt", "B.TXT", "c.zun", ".hidden"}) std::ofstream(dir + "/" + f) << "x";
        fs::create_directory(dir + "/sub");
        old_cwd = fs::current_path();
        fs::current_path(dir);
        WNDCLASS wc;
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = "DlgOwner";
        RegisterClass(wc);
        owner = CreateWindowEx(0, "DlgOwner", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 600, 500, 0);
        SetActiveWindow(owner);
        dlg::set_open_hook(on_open);
        g_on_open = nullptr;
    }
    void TearDown() override {
        dlg::set_open_hook(nullptr);
        g_on_open = nullptr;
        close();
        fs::current_path(old_cwd);
        fs::remove_all(dir);
    }
    // The screen centre of a control of the open dialog.
    POINT centre(uint32_t id) const {
        RECT r;
        GetWindowRect(dlg::control(id), &r);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void click(uint32_t id) {
        const POINT p = centre(id);
        m->click(p.x, p.y);
    }
    // A list row by its text, clicked (with keys held: "ctrl", "shift").
    void click_row(uint32_t list_id, const std::string& text, bool dbl = false) {
        const HWND list = dlg::control(list_id);
        const LRESULT i = SendMessage(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(text.c_str()));
        ASSERT_GE(i, 0) << text;
        RECT r;
        SendMessage(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(list, &p);
        m->click(p.x, p.y);
        if (dbl) m->click(p.x, p.y);
    }
    static std::vector<std::string> rows(uint32_t list_id) {
        const HWND list = dlg::control(list_id);
        std::vector<std::string> out;
        const LRESULT n = SendMessage(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            char buf[512] = {};
            SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
            out.emplace_back(buf);
        }
        return out;
    }
    std::vector<std::string> file(dlg::FileRequest r, bool* ok = nullptr) {
        std::vector<std::string> out;
        const bool answered = dlg::request_file(r, &out);
        if (ok) *ok = answered;
        return answered ? out : std::vector<std::string>{};
    }
    MemoryDisplay* m = nullptr;
    std::string dir;
    fs::path old_cwd;
    HWND owner = 0;
};


}  // namespace
