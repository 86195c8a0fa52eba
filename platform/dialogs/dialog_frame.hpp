// The frame every standard dialog shares: a modal top-level laid out in
// logical units at its DPI, its controls in tab order, the dialog keys
// (Tab, Shift+Tab, Enter, Escape, Alt mnemonics) and the modal loop.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls/controls.hpp"
#include "platform/dialogs/dialogs.hpp"

namespace zun::win::dialogs {

class Dialog {
public:
    virtual ~Dialog();
    // Runs the modal loop: true when it ended with IDOK.
    bool run();

protected:
    // Makes the window (hidden) of a client size in logical units.
    void create(std::string_view title, int width, int height);
    // A control at a place in logical units; tab order is creation order.
    HWND add(const char* cls, std::string_view text, uint32_t style, int x, int y, int w, int h, uint32_t id = 0,
             uint32_t ex_style = 0);
    int px(double logical) const;
    void end(bool ok);
    HWND hwnd() const { return m_hwnd; }
    HWND item(uint32_t id) const;
    // Hooks: a control's notification, a key the frame did not take (true:
    // taken), painting of the dialog's own areas, the pointer on them.
    virtual void command(uint32_t id, UINT code, HWND control) = 0;
    virtual bool key(const MSG&) { return false; }
    virtual void paint(HDC) {}
    virtual void pointer(UINT, POINT) {}
    // Enter on a control whose own action comes first (a folder field).
    virtual bool enter(HWND) { return false; }
    // The control focused first (0: the first tab stop).
    virtual HWND first_focus() const { return 0; }

private:
    static LRESULT CALLBACK_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool dialog_key(const MSG& m);
    void move_focus(bool back);
    bool mnemonic(char32_t letter);
    HWND m_hwnd = 0;
    HWND m_owner = 0;
    std::vector<HWND> m_controls;  // creation order
    uint32_t m_dpi = 96;
    bool m_done = false, m_ok = false;
};

std::string text_of(HWND hwnd);
// The text of a list or drop-list row.
std::string row_text(HWND list, int row, bool combo = false);

}  // namespace zun::win::dialogs
