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

// What a test does once the dialog shows and each time its input is used
// up: queue input, look at controls.
std::vector<std::function<void()>> g_steps;
void on_open(HWND, int turn) {
    if (turn < static_cast<int>(g_steps.size())) g_steps[static_cast<size_t>(turn)]();
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
        g_steps.clear();
    }
    void TearDown() override {
        dlg::set_open_hook(nullptr);
        g_steps.clear();
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
        SendMessage(list, LB_SETTOPINDEX, static_cast<WPARAM>(i), 0);
        RECT r;
        SendMessage(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(list, &p);
        m->click(p.x, p.y);
        if (dbl) m->click(p.x, p.y);
    }
    void ctrl_click_row(uint32_t list_id, const std::string& text) {
        m->key_down("Control_L");
        click_row(list_id, text);
        m->key_up("Control_L");
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

namespace {

std::string in(const std::string& dir, const char* name) { return dir + "/" + name; }

TEST_F(Dialogs, FileListAndChoices) {
    // folders first with "/", then files in case-insensitive order; dot names hidden
    std::vector<std::string> shown;
    g_steps = {[&] {
        shown = rows(dlg::ID_LIST);
        click_row(dlg::ID_LIST, "c.zun");
        click(dlg::IDOK);
    }};
    EXPECT_EQ(file({}), std::vector<std::string>{in(dir, "c.zun")});
    EXPECT_EQ(shown, (std::vector<std::string>{"sub/", "a.txt", "B.TXT", "c.zun"}));

    struct Case {
        const char* what;
        bool multi;
        std::vector<const char*> rows;  // clicked, the later ones with Ctrl
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"three in multi mode", true, {"a.txt", "B.TXT", "c.zun"}, {in(dir, "a.txt"), in(dir, "B.TXT"), in(dir, "c.zun")}},
        {"one in multi mode", true, {"B.TXT"}, {in(dir, "B.TXT")}},
        {"a second click replaces the first", false, {"a.txt", "B.TXT"}, {in(dir, "B.TXT")}},
    };
    for (const Case& c : cases) {
        g_steps = {[&] {
            for (size_t i = 0; i < c.rows.size(); ++i) {
                if (i && c.multi) ctrl_click_row(dlg::ID_LIST, c.rows[i]);
                else click_row(dlg::ID_LIST, c.rows[i]);
            }
            click(dlg::IDOK);
        }};
        dlg::FileRequest r;
        r.multi = c.multi;
        EXPECT_EQ(file(r), c.want) << c.what;
    }
    // a double click on a file chooses it, as Enter on a selected row does
    const std::pair<std::function<void()>, const char*> direct[] = {
        {[&] { click_row(dlg::ID_LIST, "B.TXT", true); }, "B.TXT"},
        {[&] { click_row(dlg::ID_LIST, "c.zun"); m->key("Return"); }, "c.zun"},
    };
    for (const auto& [input, name] : direct) {
        g_steps = {input};
        EXPECT_EQ(file({}), std::vector<std::string>{in(dir, name)}) << name;
    }
}

TEST_F(Dialogs, FileKeysAndEndings) {
    struct Case {
        const char* what;
        std::string name;                          // the request's name
        std::function<void(MemoryDisplay*)> input;
        bool ok;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"a typed name that does not exist", "", [](MemoryDisplay* m) { m->commit_text("new.txt"); m->key("Return"); },
         true, {in(dir, "new.txt")}},
        {"Escape", "", [](MemoryDisplay* m) { m->key("Escape"); }, false, {}},
        {"the close button", "", [](MemoryDisplay* m) { m->close_request(dlg::current()); }, false, {}},
        {"a typed folder path enters it", "",
         [](MemoryDisplay* m) { m->commit_text("sub"); m->key("Return"); m->commit_text("y.txt"); m->key("Return"); },
         true, {in(dir, "sub/y.txt")}},
        {"name sub/y.txt opens sub/ with y.txt typed", "sub/y.txt", [](MemoryDisplay* m) { m->key("Return"); }, true,
         {in(dir, "sub/y.txt")}},
        {"Alt+U goes up; the typed name stays", "sub/y.txt", [](MemoryDisplay* m) { m->key("alt+u"); m->key("Return"); },
         true, {in(dir, "y.txt")}},
        // Shift+Tab to the list, Down to "sub/", Enter enters it, Tab back to the name
        {"Tab, Shift+Tab and Enter on a folder", "",
         [](MemoryDisplay* m) {
             m->key("shift+Tab"); m->key("Down"); m->key("Return"); m->key("Tab");
             m->commit_text("z.txt"); m->key("Return");
         },
         true, {in(dir, "sub/z.txt")}},
    };
    for (const Case& c : cases) {
        g_steps = {[&] { c.input(m); }};
        dlg::FileRequest r;
        r.name = c.name;
        bool ok = false;
        EXPECT_EQ(file(r, &ok), c.want) << c.what;
        EXPECT_EQ(ok, c.ok) << c.what;
    }
}

TEST_F(Dialogs, FileFoldersUpHiddenAndFilters) {
    std::vector<std::vector<std::string>> seen;
    std::vector<std::string> folders;
    auto look = [&] {
        seen.push_back(rows(dlg::ID_LIST));
        folders.push_back(GetWindowText(dlg::control(dlg::ID_FOLDER)));
    };
    g_steps = {
        [&] { click_row(dlg::ID_LIST, "sub/", true); },  // a double click enters a folder
        [&] { look(); click(dlg::ID_UP); },
        [&] { look(); m->key("ctrl+h"); },
        [&] { look(); m->key("ctrl+h"); },
        [&] { look(); },
    };
    EXPECT_TRUE(file({}).empty());
    const std::vector<std::string> all{"sub/", "a.txt", "B.TXT", "c.zun"};
    const std::vector<std::vector<std::string>> want{{}, all, {"sub/", ".hidden", "a.txt", "B.TXT", "c.zun"}, all};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(folders, (std::vector<std::string>{in(dir, "sub"), dir, dir, dir}));

    // a filter block fills the drop-list; its patterns match without regard to case
    seen.clear();
    LRESULT types = 0;
    g_steps = {
        [&] {
            look();
            types = SendMessage(dlg::control(dlg::ID_FILTER), CB_GETCOUNT, 0, 0);
            RECT face;
            GetWindowRect(dlg::control(dlg::ID_FILTER), &face);
            m->click(face.left + 10, face.top + 8);  // focus and open the list
            m->key("Down");
            m->key("Return");
        },
        [&] { look(); },
    };
    dlg::FileRequest r;
    r.filters = {{"Text", "*.TXT"}, {"Scripts", "*.Zun;*.zuns"}};
    file(r);
    EXPECT_EQ(types, 2);
    EXPECT_EQ(seen, (std::vector<std::vector<std::string>>{{"sub/", "a.txt", "B.TXT"}, {"sub/", "c.zun"}}));
}

TEST_F(Dialogs, SaveModeOwnerAndPlacement) {
    std::string caption, button;
    bool owner_enabled = true, transient = false;
    RECT d, o;
    g_steps = {[&] {
        const HWND dialog = dlg::current();
        caption = GetWindowText(dialog);
        button = GetWindowText(dlg::control(dlg::IDOK));
        owner_enabled = IsWindowEnabled(owner);
        transient = GetWindow(dialog, GW_OWNER) == owner && (GetWindowLong(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
        GetWindowRect(dialog, &d);
        GetWindowRect(owner, &o);
        m->commit_text("out.txt");
        click(dlg::IDOK);
    }};
    dlg::FileRequest r;
    r.save = true;
    EXPECT_EQ(file(r), std::vector<std::string>{in(dir, "out.txt")});
    EXPECT_EQ(caption, "Save As");
    EXPECT_EQ(button, "&Save");
    EXPECT_FALSE(owner_enabled);
    EXPECT_TRUE(transient);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetActiveWindow(), owner);
    EXPECT_NEAR((d.left + d.right) / 2, (o.left + o.right) / 2, 1);
    EXPECT_NEAR((d.top + d.bottom) / 2, (o.top + o.bottom) / 2, 1);
}

TEST_F(Dialogs, SizesInLogicalUnitsAtTheDpi) {
    std::vector<int> widths;
    g_steps = {[&] {
        RECT r, ok;
        GetClientRect(dlg::current(), &r);
        GetClientRect(dlg::control(dlg::IDOK), &ok);
        widths = {r.width(), ok.width()};
        m->key("Escape");
    }};
    std::vector<Monitor> monitors;
    ASSERT_TRUE(MemoryDisplay::parse_monitors("1600x1200@144", &monitors));
    m->set_monitors(monitors);
    std::string out;
    dlg::request_dir("", "", &out);
    EXPECT_EQ(widths, (std::vector<int>{660, 128}));  // 440 and 85 logical units at 1.5
}

TEST_F(Dialogs, GlobsAndDefaultFilters) {
    struct Case {
        const char* patterns;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.*", "noext", true}, {"*", ".hidden", true}, {"*.txt", "B.TXT", true}, {"*.TXT", "a.txt", true},
        {"*.zun;*.zuns", "x.zuns", true}, {"*.zun; *.zuns", "x.zuns", true}, {"*.zun", "x.zuns", false},
        {"a?c", "abc", true}, {"a?c", "ac", false}, {"*.txt", "ÉTÉ.TXT", true}, {"été*", "ÉTÉ.TXT", true},
        {"", "a", false},
    };
    for (const Case& c : cases) EXPECT_EQ(dlg::matches(c.patterns, c.name), c.match) << c.patterns << " " << c.name;
    EXPECT_EQ(dlg::default_filters(),
              (dlg::Filters{{"All files", "*.*"}, {"Zun scripts", "*.zun;*.zuns"}, {"Text files", "*.txt"}}));
}

TEST_F(Dialogs, FolderDialog) {
    struct Case {
        const char* what;
        std::string start;
        std::function<void()> input;
        bool ok;
        std::string want;
    };
    std::string selected;
    const Case cases[] = {
        {"starts on the parent with the folder selected", dir + "/sub", [&] {
             const HWND list = dlg::control(dlg::ID_LIST);
             const LRESULT i = SendMessage(list, LB_GETCURSEL, 0, 0);
             selected = i >= 0 ? rows(dlg::ID_LIST)[static_cast<size_t>(i)] : "";
             m->key("Return");
         }, true, dir + "/sub"},
        {"no folder: the current one", "", [&] { click(dlg::IDOK); }, true, dir},
        {"a double click enters, OK answers it", "", [&] { click_row(dlg::ID_LIST, "sub/", true); click(dlg::IDOK); },
         true, dir + "/sub"},
        {"Cancel", dir + "/sub", [&] { click(dlg::IDCANCEL); }, false, ""},
    };
    for (const Case& c : cases) {
        g_steps = {c.input};
        std::string out;
        EXPECT_EQ(dlg::request_dir("Pick one", c.start, &out), c.ok) << c.what;
        EXPECT_EQ(out, c.want) << c.what;
    }
    EXPECT_EQ(selected, "sub/");

    // New Folder makes "New Folder", then "New Folder (2)", and selects it
    std::vector<std::string> shown;
    g_steps = {[&] { click(dlg::ID_NEW_FOLDER); click(dlg::ID_NEW_FOLDER); },
               [&] { shown = rows(dlg::ID_LIST); click(dlg::IDOK); }};
    std::string out;
    EXPECT_TRUE(dlg::request_dir("", "", &out));
    EXPECT_EQ(shown, (std::vector<std::string>{"New Folder/", "New Folder (2)/", "sub/"}));
    EXPECT_EQ(out, dir + "/New Folder (2)");
    EXPECT_TRUE(fs::is_directory(dir + "/New Folder (2)"));
}

TEST_F(Dialogs, ColorDialog) {
    std::vector<std::string> fields;
    uint32_t custom_pixel = 0;
    auto field = [](uint32_t id) { return GetWindowText(dlg::control(id)); };
    g_steps = {[&] {
        for (uint32_t id : {dlg::ID_RED, dlg::ID_GREEN, dlg::ID_BLUE, dlg::ID_HUE, dlg::ID_SAT, dlg::ID_LUM})
            fields.push_back(field(id));
        // the first custom swatch shows the first recent colour
        POINT p{20, 205};
        p.x = p.x * 1;
        POINT s = p;
        ClientToScreen(dlg::current(), &s);
        custom_pixel = m->pixel(dlg::current(), p.x, p.y) & 0xFFFFFF;
        click(dlg::IDOK);
    }};
    uint32_t out = 0;
    EXPECT_TRUE(dlg::request_color(0x336699, {0x102030, 0xFF0000}, &out));
    EXPECT_EQ(out, 0x336699u);
    EXPECT_EQ(fields, (std::vector<std::string>{"51", "102", "153", "140", "120", "96"}));
    EXPECT_EQ(custom_pixel, 0x102030u);

    // typing into Red changes the colour; Hue, Sat and Lum follow
    g_steps = {[&] {
        click(dlg::ID_RED);
        m->key("ctrl+a");
        m->commit_text("255");
    }, [&] {
        fields = {field(dlg::ID_HUE), field(dlg::ID_SAT), field(dlg::ID_LUM)};
        click(dlg::IDOK);
    }};
    EXPECT_TRUE(dlg::request_color(0x000000, {}, &out));
    EXPECT_EQ(out, 0xFF0000u);
    EXPECT_EQ(fields, (std::vector<std::string>{"0", "240", "120"}));

    // the plane's top right corner: the last hue at full saturation
    g_steps = {[&] {
        RECT r;
        GetWindowRect(dlg::current(), &r);
        m->click(r.left + 425, r.top + 8);
    }, [&] {
        fields = {field(dlg::ID_HUE), field(dlg::ID_SAT), field(dlg::ID_LUM)};
        click(dlg::IDOK);
    }};
    EXPECT_TRUE(dlg::request_color(0x808080, {}, &out));
    EXPECT_EQ(fields, (std::vector<std::string>{"239", "240", "120"}));

    g_steps = {[&] { m->key("Escape"); }};
    out = 7;
    EXPECT_FALSE(dlg::request_color(0x123456, {}, &out));
    EXPECT_EQ(out, 7u);
}

TEST_F(Dialogs, FontDialog) {
    std::vector<std::string> families;
    std::string family, face, size;
    auto cur = [](uint32_t id) {
        const HWND list = dlg::control(id);
        const LRESULT i = SendMessage(list, LB_GETCURSEL, 0, 0);
        char buf[256] = {};
        if (i >= 0) SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
        return std::string(buf);
    };
    // a font never shown starts at Courier New as fontconfig resolves it, 11 points
    g_steps = {[&] {
        family = cur(dlg::ID_FAMILY);
        face = cur(dlg::ID_FACE);
        size = GetWindowText(dlg::control(dlg::ID_SIZE));
        m->key("Escape");
    }};
    dlg::FontChoice f;
    EXPECT_FALSE(dlg::request_font(&f, false));
    EXPECT_EQ(family, dlg::resolved_family("Courier New"));
    EXPECT_EQ(size, "11");
    EXPECT_EQ(f.family, "");  // Cancel leaves the choice as it was

    // bold at 12 points
    g_steps = {[&] {
        click_row(dlg::ID_FAMILY, "DejaVu Sans");
    }, [&] {
        click_row(dlg::ID_FACE, "Bold");
        click_row(dlg::ID_SIZES, "12");
        click(dlg::IDOK);
    }};
    ASSERT_TRUE(dlg::request_font(&f, false));
    EXPECT_EQ(f.family, "DejaVu Sans");
    EXPECT_EQ(f.points, 12);
    EXPECT_EQ(f.weight, 700);
    EXPECT_FALSE(f.italic);

    // a light face gives its weight
    g_steps = {[&] {
        const std::vector<std::string> faces = rows(dlg::ID_FACE);
        face = faces.empty() ? "" : faces.front();  // the lightest comes first
        click_row(dlg::ID_FACE, face);
        click(dlg::IDOK);
    }};
    ASSERT_TRUE(dlg::request_font(&f, false));
    EXPECT_NE(face, "Book");
    EXPECT_LT(f.weight, 400) << face;

    // mono? lists only monospaced families
    g_steps = {[&] { families = rows(dlg::ID_FAMILY); m->key("Escape"); }};
    dlg::request_font(&f, true);
    EXPECT_NE(std::find(families.begin(), families.end(), "DejaVu Sans Mono"), families.end());
    EXPECT_EQ(std::find(families.begin(), families.end(), "DejaVu Sans"), families.end());
}

}  // namespace
