// What the list box and the combo box share: the items, the messages that
// only touch them, navigation keys, and the drop list a combo box opens (a
// list box window over the combo's own items). Not for other modules.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls/control_draw.hpp"
#include "platform/controls/listbox.hpp"

namespace zun::win::controls {

struct ListItem {
    std::string text;
    LPARAM data = 0;
    bool selected = false;  // marks of a multiple-selection list
};

struct ListItems {
    std::vector<ListItem> rows;
    int cur = -1;  // the selection of a single-selection list, -1 for none
    bool sorted = false;

    int count() const { return static_cast<int>(rows.size()); }
    bool valid(int i) const { return i >= 0 && i < count(); }
    // Inserts at `at` (-1: the end); answers the index, LB_ERR past the end.
    int insert(int at, std::string_view text);
    // At the end, or in its place ignoring case when sorted.
    int add(std::string_view text);
    // Answers the items left, LB_ERR out of range.
    int erase(int at);
    void clear();
    // The first item after `after` (wrapping) whose text starts with prefix,
    // or equals it, ignoring case; LB_ERR when none.
    int find(int after, std::string_view prefix, bool exact) const;
};

// The messages that only touch items (LB_ numbers): true when msg is one,
// its answer in *result; *changed tells whether the rows changed.
bool item_message(ListItems& items, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result, bool* changed);

// The item a navigation key leads to from `from` (-1: none yet), with `page`
// rows to a page; -1 for any other key or an empty list.
int key_target(WPARAM vk, int from, int count, int page);
// The item a typed character leads to: the next one starting with it.
int letter_target(const ListItems& items, int from, char32_t c);

// The pixel height of a row in a window's font at its DPI, measured again
// only when the font or the DPI changed.
class RowHeight {
public:
    int get(HWND hwnd, HFONT font);

private:
    HFONT m_font = 0;
    uint32_t m_dpi = 0;
    unsigned m_hash = 0;
    int m_height = 0;
};
// Fills r with the brush `to` answers to a WM_CTLCOLOR* message about
// `control` (the window colour when none) and answers the text colour.
COLORREF window_colours(cairo_t* cr, HWND to, UINT msg, HWND control, const RECT& r);

// ---- the drop list of a combo box ------------------------------------------
// Makes the (hidden) drop list: a popup ComboLBox window at r (screen) over
// the combo's items, which live as long as the combo; the combo's selection
// starts highlighted.
HWND create_drop_list(HWND combo, ListItems* items, HFONT font, const RECT& r);
// The highlighted item of an open list (-1: none); set scrolls it into view.
int drop_list_highlight(HWND list);
void set_drop_list_highlight(HWND list, int index);
// The rows changed under an open list.
void drop_list_rows_changed(HWND list);
// Told by the drop list: an item picked by the pointer, or a press outside
// (or the capture lost). Each closes the list, which destroys it: the list's
// procedure returns at once after calling them.
void combo_list_pick(HWND combo, int index);
void combo_list_cancel(HWND combo);

}  // namespace zun::win::controls
