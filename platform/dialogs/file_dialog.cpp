// The file dialog (open and save) and the folder dialog.
#include <sys/stat.h>

#include <algorithm>

#include "platform/controls/combobox.hpp"
#include "platform/controls/listbox.hpp"
#include "platform/dialogs/dialog_frame.hpp"
#include "platform/dialogs/folder_list.hpp"

namespace zun::win::dialogs {

namespace {

std::string trimmed(std::string s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// Several names typed or chosen at once travel quoted: "a.txt" "b.txt".
std::vector<std::string> typed_names(const std::string& text) {
    if (text.find('"') == std::string::npos) return {text};
    std::vector<std::string> out;
    size_t at = 0;
    while ((at = text.find('"', at)) != std::string::npos) {
        const size_t end = text.find('"', at + 1);
        const std::string name = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (!name.empty()) out.push_back(name);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

bool wildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

bool ctrl_h(const MSG& m) { return m.wParam == 'H' && (GetKeyState(VK_CONTROL) & 0x8000); }

// What the file and folder dialogs share: the current folder and its list.
class FolderDialog : public Dialog {
protected:
    void refill() {
        m_rows = list_folder(m_folder, m_hidden, dirs_only(), patterns());
        fill_list(m_list, m_rows);
        SetWindowText(item(ID_FOLDER), m_folder);
    }
    void enter_folder(const std::string& folder) {
        m_folder = folder;
        refill();
    }
    virtual bool dirs_only() const = 0;
    virtual std::string patterns() const { return "*"; }
    std::vector<int> selected() const {
        std::vector<int> rows;
        if (GetWindowLong(m_list, GWL_STYLE) & LBS_EXTENDEDSEL) {
            const LRESULT n = SendMessage(m_list, LB_GETSELCOUNT, 0, 0);
            rows.resize(static_cast<size_t>(std::max<LRESULT>(n, 0)));
            if (n > 0) SendMessage(m_list, LB_GETSELITEMS, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(rows.data()));
        } else if (const LRESULT cur = SendMessage(m_list, LB_GETCURSEL, 0, 0); cur >= 0) {
            rows.push_back(static_cast<int>(cur));
        }
        std::erase_if(rows, [this](int r) { return r < 0 || r >= static_cast<int>(m_rows.size()); });
        return rows;
    }
    // The one folder selected, or nullptr.
    const Entry* selected_folder() const {
        const std::vector<int> rows = selected();
        return rows.size() == 1 && m_rows[rows[0]].dir ? &m_rows[rows[0]] : nullptr;
    }
    bool key(const MSG& m) override {
        if (ctrl_h(m)) {
            m_hidden = !m_hidden;
            refill();
            return true;
        }
        if (m.wParam == VK_BACK && GetFocus() == m_list) {
            enter_folder(parent_of(m_folder));
            return true;
        }
        return false;
    }
    std::string m_folder;
    std::vector<Entry> m_rows;
    HWND m_list = 0;
    bool m_hidden = false;
};

class FileDialog final : public FolderDialog {
public:
    FileDialog(const FileRequest& r, std::vector<std::string>* out) : m_request(r), m_out(out) {
        const Filters& filters = r.filters.empty() ? default_filters() : r.filters;
        m_filters = filters;
        const std::string base = current_directory();
        std::string name = r.name;
        m_folder = base;
        if (const size_t slash = name.rfind('/'); slash != std::string::npos) {
            const std::string folder = absolute(slash ? name.substr(0, slash) : "/", base);
            if (is_dir(folder)) m_folder = folder;
            name = name.substr(slash + 1);
        }
        const std::string title = !r.title.empty() ? r.title : r.save ? "Save As" : "Open";
        create(title, 520, 360);
        add(WC_STATIC, "Fo&lder:", SS_LEFT | SS_CENTERIMAGE, 10, 10, 60, 24);
        add(WC_EDIT, m_folder, WS_TABSTOP | ES_AUTOHSCROLL, 72, 11, 358, 22, ID_FOLDER, WS_EX_CLIENTEDGE);
        add(WC_BUTTON, "&Up", WS_TABSTOP | BS_PUSHBUTTON, 438, 10, 72, 24, ID_UP);
        m_list = add(WC_LISTBOX, "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                                         (r.multi ? LBS_EXTENDEDSEL : 0),
                     10, 42, 500, 238, ID_LIST, WS_EX_CLIENTEDGE);
        add(WC_STATIC, "File &name:", SS_LEFT | SS_CENTERIMAGE, 10, 290, 90, 24);
        add(WC_EDIT, name, WS_TABSTOP | ES_AUTOHSCROLL, 102, 291, 320, 22, ID_NAME, WS_EX_CLIENTEDGE);
        add(WC_BUTTON, r.save ? "&Save" : "&Open", WS_TABSTOP | BS_DEFPUSHBUTTON, 430, 289, 80, 26, IDOK);
        add(WC_STATIC, "Files of &type:", SS_LEFT | SS_CENTERIMAGE, 10, 324, 90, 24);
        const HWND types = add(WC_COMBOBOX, "", WS_TABSTOP | CBS_DROPDOWNLIST, 102, 324, 320, 24, ID_FILTER);
        add(WC_BUTTON, "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 430, 323, 80, 26, IDCANCEL);
        for (const auto& [description, pattern] : m_filters)
            SendMessage(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(description.c_str()));
        SendMessage(types, CB_SETCURSEL, 0, 0);
        refill();
    }

private:
    bool dirs_only() const override { return false; }
    HWND first_focus() const override { return item(ID_NAME); }
    std::string patterns() const override {
        if (!m_typed_pattern.empty()) return m_typed_pattern;
        const LRESULT i = SendMessage(item(ID_FILTER), CB_GETCURSEL, 0, 0);
        return i >= 0 && i < static_cast<LRESULT>(m_filters.size()) ? m_filters[static_cast<size_t>(i)].second : "*";
    }
    void choose(std::vector<std::string> paths) {
        *m_out = std::move(paths);
        end(true);
    }
    void selection_to_name() {
        std::vector<std::string> files;
        for (int r : selected())
            if (!m_rows[r].dir) files.push_back(m_rows[r].name);
        if (files.empty()) return;
        std::string text;
        if (files.size() == 1) {
            text = files[0];
        } else {
            for (const std::string& f : files) text += (text.empty() ? "\"" : " \"") + f + "\"";
        }
        SetWindowText(item(ID_NAME), text);
    }
    void open() {
        if (const Entry* folder = selected_folder(); folder && GetFocus() == m_list) {
            enter_folder(join(m_folder, folder->name));
            return;
        }
        const std::string text = trimmed(text_of(item(ID_NAME)));
        if (text.empty()) {
            if (const Entry* folder = selected_folder()) enter_folder(join(m_folder, folder->name));
            return;
        }
        const std::vector<std::string> names = typed_names(text);
        if (names.size() == 1) {
            const std::string full = absolute(names[0], m_folder);
            if (is_dir(full)) {
                SetWindowText(item(ID_NAME), "");
                enter_folder(full);
                return;
            }
            if (wildcard(names[0])) {
                m_typed_pattern = names[0];
                refill();
                return;
            }
        }
        std::vector<std::string> paths;
        for (const std::string& n : names) paths.push_back(absolute(n, m_folder));
        if (!m_request.multi) paths.resize(std::min<size_t>(paths.size(), 1));
        if (!paths.empty()) choose(std::move(paths));
    }
    void command(uint32_t id, UINT code, HWND) override {
        switch (id) {
            case IDOK:
                if (code == BN_CLICKED) open();
                break;
            case IDCANCEL:
                if (code == BN_CLICKED) end(false);
                break;
            case ID_UP:
                if (code == BN_CLICKED) enter_folder(parent_of(m_folder));
                break;
            case ID_FILTER:
                if (code == CBN_SELCHANGE) {
                    m_typed_pattern.clear();
                    refill();
                }
                break;
            case ID_LIST:
                if (code == LBN_SELCHANGE) selection_to_name();
                if (code == LBN_DBLCLK) {
                    const LRESULT caret = SendMessage(m_list, LB_GETCARETINDEX, 0, 0);
                    if (caret < 0 || caret >= static_cast<LRESULT>(m_rows.size())) break;
                    const Entry& e = m_rows[static_cast<size_t>(caret)];
                    if (e.dir) enter_folder(join(m_folder, e.name));
                    else choose({join(m_folder, e.name)});
                }
                break;
            default: break;
        }
    }
    // Enter in the folder field goes to the folder typed there.
    bool enter(HWND focus) override {
        if (focus != item(ID_FOLDER)) return false;
        const std::string typed = absolute(trimmed(text_of(focus)), m_folder);
        if (is_dir(typed)) enter_folder(typed);
        return true;
    }

    FileRequest m_request;
    std::vector<std::string>* m_out;
    Filters m_filters;
    std::string m_typed_pattern;
};

class DirDialog final : public FolderDialog {
public:
    DirDialog(std::string_view title, std::string_view dir, std::string* out) : m_out(out) {
        const std::string base = current_directory();
        std::string start = dir.empty() ? std::string() : absolute(dir, base);
        if (!start.empty() && !is_dir(start)) start.clear();
        m_folder = start.empty() ? base : start == "/" ? "/" : parent_of(start);
        create("Browse For Folder", 440, 340);
        add(WC_STATIC, title, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 10, 8, 420, 20);
        m_list = add(WC_LISTBOX, "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 10, 32, 420, 222,
                     ID_LIST, WS_EX_CLIENTEDGE);
        add(WC_STATIC, "&Folder:", SS_LEFT | SS_CENTERIMAGE, 10, 262, 60, 24);
        add(WC_EDIT, start.empty() ? m_folder : start, WS_TABSTOP | ES_AUTOHSCROLL, 72, 263, 358, 22, ID_PATH,
            WS_EX_CLIENTEDGE);
        add(WC_BUTTON, "&New Folder", WS_TABSTOP | BS_PUSHBUTTON, 10, 302, 100, 26, ID_NEW_FOLDER);
        add(WC_BUTTON, "&Up", WS_TABSTOP | BS_PUSHBUTTON, 118, 302, 70, 26, ID_UP);
        add(WC_BUTTON, "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 250, 302, 85, 26, IDOK);
        add(WC_BUTTON, "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 345, 302, 85, 26, IDCANCEL);
        refill();
        if (!start.empty() && start != "/") select(start.substr(start.rfind('/') + 1));
    }

private:
    bool dirs_only() const override { return true; }
    void select(const std::string& name) {
        for (size_t i = 0; i < m_rows.size(); ++i)
            if (m_rows[i].name == name) {
                SendMessage(m_list, LB_SETCURSEL, i, 0);
                SetWindowText(item(ID_PATH), join(m_folder, name));
                return;
            }
    }
    void refill_at(const std::string& folder) {
        enter_folder(folder);
        SetWindowText(item(ID_PATH), m_folder);
    }
    void new_folder() {
        for (int n = 1; n < 10000; ++n) {
            const std::string name = n == 1 ? "New Folder" : "New Folder (" + std::to_string(n) + ")";
            const std::string path = join(m_folder, name);
            if (mkdir(path.c_str(), 0777) == 0) {
                refill();
                select(name);
                return;
            }
            if (errno != EEXIST) return;
        }
    }
    void accept() {
        const std::string typed = trimmed(text_of(item(ID_PATH)));
        const std::string path = typed.empty() ? m_folder : absolute(typed, m_folder);
        if (!is_dir(path)) return;
        *m_out = path;
        end(true);
    }
    void command(uint32_t id, UINT code, HWND) override {
        switch (id) {
            case IDOK:
                if (code == BN_CLICKED) accept();
                break;
            case IDCANCEL:
                if (code == BN_CLICKED) end(false);
                break;
            case ID_UP:
                if (code == BN_CLICKED) refill_at(parent_of(m_folder));
                break;
            case ID_NEW_FOLDER:
                if (code == BN_CLICKED) new_folder();
                break;
            case ID_LIST:
                if (const Entry* e = selected_folder(); e && code == LBN_SELCHANGE)
                    SetWindowText(item(ID_PATH), join(m_folder, e->name));
                else if (e && code == LBN_DBLCLK)
                    refill_at(join(m_folder, e->name));
                break;
            default: break;
        }
    }

    std::string* m_out;
};

}  // namespace

bool request_file(const FileRequest& request, std::vector<std::string>* chosen) {
    FileDialog d(request, chosen);
    return d.run();
}

bool request_dir(std::string_view title, std::string_view dir, std::string* chosen) {
    DirDialog d(title, dir, chosen);
    return d.run();
}

}  // namespace zun::win::dialogs
