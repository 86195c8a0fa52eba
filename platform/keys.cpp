#include "platform/keys.hpp"

#include "core/unicode.hpp"

#include <cstdlib>
#include <cstring>
#include <string>

namespace zun::win {

namespace {

struct KeyRow {
    const char* name;
    uint32_t keysym;
    uint8_t vk;
    uint8_t vk_side;
    bool extended;
};

// Keys other than letters, digits and function keys. Punctuation sits at its
// US place: both characters of a key share its virtual key.
constexpr KeyRow k_keys[] = {
    {"space", 0x20, 0x20, 0x20, false},
    {"exclam", 0x21, 0x31, 0x31, false},
    {"quotedbl", 0x22, 0xDE, 0xDE, false},
    {"numbersign", 0x23, 0x33, 0x33, false},
    {"dollar", 0x24, 0x34, 0x34, false},
    {"percent", 0x25, 0x35, 0x35, false},
    {"ampersand", 0x26, 0x37, 0x37, false},
    {"apostrophe", 0x27, 0xDE, 0xDE, false},
    {"parenleft", 0x28, 0x39, 0x39, false},
    {"parenright", 0x29, 0x30, 0x30, false},
    {"asterisk", 0x2A, 0x38, 0x38, false},
    {"plus", 0x2B, 0xBB, 0xBB, false},
    {"comma", 0x2C, 0xBC, 0xBC, false},
    {"minus", 0x2D, 0xBD, 0xBD, false},
    {"period", 0x2E, 0xBE, 0xBE, false},
    {"slash", 0x2F, 0xBF, 0xBF, false},
    {"colon", 0x3A, 0xBA, 0xBA, false},
    {"semicolon", 0x3B, 0xBA, 0xBA, false},
    {"less", 0x3C, 0xBC, 0xBC, false},
    {"equal", 0x3D, 0xBB, 0xBB, false},
    {"greater", 0x3E, 0xBE, 0xBE, false},
    {"question", 0x3F, 0xBF, 0xBF, false},
    {"at", 0x40, 0x32, 0x32, false},
    {"bracketleft", 0x5B, 0xDB, 0xDB, false},
    {"backslash", 0x5C, 0xDC, 0xDC, false},
    {"bracketright", 0x5D, 0xDD, 0xDD, false},
    {"asciicircum", 0x5E, 0x36, 0x36, false},
    {"underscore", 0x5F, 0xBD, 0xBD, false},
    {"grave", 0x60, 0xC0, 0xC0, false},
    {"braceleft", 0x7B, 0xDB, 0xDB, false},
    {"bar", 0x7C, 0xDC, 0xDC, false},
    {"braceright", 0x7D, 0xDD, 0xDD, false},
    {"asciitilde", 0x7E, 0xC0, 0xC0, false},
    {"BackSpace", 0xFF08, 0x08, 0x08, false},
    {"Tab", 0xFF09, 0x09, 0x09, false},
    {"ISO_Left_Tab", 0xFE20, 0x09, 0x09, false},
    {"Return", 0xFF0D, 0x0D, 0x0D, false},
    {"Pause", 0xFF13, 0x13, 0x13, false},
    {"Scroll_Lock", 0xFF14, 0x91, 0x91, false},
    {"Escape", 0xFF1B, 0x1B, 0x1B, false},
    {"Home", 0xFF50, 0x24, 0x24, true},
    {"Left", 0xFF51, 0x25, 0x25, true},
    {"Up", 0xFF52, 0x26, 0x26, true},
    {"Right", 0xFF53, 0x27, 0x27, true},
    {"Down", 0xFF54, 0x28, 0x28, true},
    {"Prior", 0xFF55, 0x21, 0x21, true},
    {"Next", 0xFF56, 0x22, 0x22, true},
    {"End", 0xFF57, 0x23, 0x23, true},
    {"Print", 0xFF61, 0x2C, 0x2C, true},
    {"Insert", 0xFF63, 0x2D, 0x2D, true},
    {"Menu", 0xFF67, 0x5D, 0x5D, true},
    {"Num_Lock", 0xFF7F, 0x90, 0x90, true},
    {"KP_Enter", 0xFF8D, 0x0D, 0x0D, true},
    {"KP_Home", 0xFF95, 0x24, 0x24, false},
    {"KP_Left", 0xFF96, 0x25, 0x25, false},
    {"KP_Up", 0xFF97, 0x26, 0x26, false},
    {"KP_Right", 0xFF98, 0x27, 0x27, false},
    {"KP_Down", 0xFF99, 0x28, 0x28, false},
    {"KP_Prior", 0xFF9A, 0x21, 0x21, false},
    {"KP_Next", 0xFF9B, 0x22, 0x22, false},
    {"KP_End", 0xFF9C, 0x23, 0x23, false},
    {"KP_Begin", 0xFF9D, 0x0C, 0x0C, false},
    {"KP_Insert", 0xFF9E, 0x2D, 0x2D, false},
    {"KP_Delete", 0xFF9F, 0x2E, 0x2E, false},
    {"KP_Multiply", 0xFFAA, 0x6A, 0x6A, false},
    {"KP_Add", 0xFFAB, 0x6B, 0x6B, false},
    {"KP_Separator", 0xFFAC, 0x6C, 0x6C, false},
    {"KP_Subtract", 0xFFAD, 0x6D, 0x6D, false},
    {"KP_Decimal", 0xFFAE, 0x6E, 0x6E, false},
    {"KP_Divide", 0xFFAF, 0x6F, 0x6F, true},
    {"KP_0", 0xFFB0, 0x60, 0x60, false},
    {"KP_1", 0xFFB1, 0x61, 0x61, false},
    {"KP_2", 0xFFB2, 0x62, 0x62, false},
    {"KP_3", 0xFFB3, 0x63, 0x63, false},
    {"KP_4", 0xFFB4, 0x64, 0x64, false},
    {"KP_5", 0xFFB5, 0x65, 0x65, false},
    {"KP_6", 0xFFB6, 0x66, 0x66, false},
    {"KP_7", 0xFFB7, 0x67, 0x67, false},
    {"KP_8", 0xFFB8, 0x68, 0x68, false},
    {"KP_9", 0xFFB9, 0x69, 0x69, false},
    {"Shift_L", 0xFFE1, 0x10, 0xA0, false},
    {"Shift_R", 0xFFE2, 0x10, 0xA1, false},
    {"Control_L", 0xFFE3, 0x11, 0xA2, false},
    {"Control_R", 0xFFE4, 0x11, 0xA3, true},
    {"Caps_Lock", 0xFFE5, 0x14, 0x14, false},
    {"Alt_L", 0xFFE9, 0x12, 0xA4, false},
    {"Alt_R", 0xFFEA, 0x12, 0xA5, true},
    {"ISO_Level3_Shift", 0xFE03, 0x12, 0xA5, true},
    {"Super_L", 0xFFEB, 0x5B, 0x5B, true},
    {"Super_R", 0xFFEC, 0x5C, 0x5C, true},
    {"Delete", 0xFFFF, 0x2E, 0x2E, true},
};

// The unshifted character of each punctuation key, and its shifted one.
struct UsKey {
    uint8_t vk;
    char plain;
    char shifted;
};
constexpr UsKey k_us_keys[] = {
    {0x30, '0', ')'}, {0x31, '1', '!'}, {0x32, '2', '@'}, {0x33, '3', '#'},
    {0x34, '4', '$'}, {0x35, '5', '%'}, {0x36, '6', '^'}, {0x37, '7', '&'},
    {0x38, '8', '*'}, {0x39, '9', '('}, {0xBA, ';', ':'}, {0xBB, '=', '+'},
    {0xBC, ',', '<'}, {0xBD, '-', '_'}, {0xBE, '.', '>'}, {0xBF, '/', '?'},
    {0xC0, '`', '~'}, {0xDB, '[', '{'}, {0xDC, '\\', '|'}, {0xDD, ']', '}'},
    {0xDE, '\'', '"'}, {0x20, ' ', ' '},
};

constexpr uint32_t k_f1 = 0xFFBE;  // F1..F24 are consecutive keysyms

bool is_letter(uint32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

const KeyRow* find_row(uint32_t keysym) {
    for (const KeyRow& row : k_keys)
        if (row.keysym == keysym) return &row;
    return nullptr;
}

}  // namespace

KeyInfo key_info(uint32_t keysym) {
    if (is_letter(keysym)) {
        auto vk = static_cast<uint8_t>(keysym & ~0x20u);
        return {keysym, vk, vk, false};
    }
    if (keysym >= '0' && keysym <= '9') return {keysym, uint8_t(keysym), uint8_t(keysym), false};
    if (keysym >= k_f1 && keysym < k_f1 + 24) {
        auto vk = static_cast<uint8_t>(0x70 + keysym - k_f1);
        return {keysym, vk, vk, false};
    }
    if (const KeyRow* row = find_row(keysym)) return {keysym, row->vk, row->vk_side, row->extended};
    return {keysym, 0, 0, false};
}

uint32_t keysym_from_name(std::string_view name) {
    for (const KeyRow& row : k_keys)
        if (name == row.name) return row.keysym;
    if (name.size() >= 2 && name[0] == 'F' && name[1] >= '1' && name[1] <= '9') {
        int n = std::atoi(std::string(name.substr(1)).c_str());
        if (n >= 1 && n <= 24 && std::to_string(n) == name.substr(1)) return k_f1 + n - 1;
    }
    if (name == "Page_Up") return 0xFF55;
    if (name == "Page_Down") return 0xFF56;
    if (name.size() > 2 && name[0] == 'U' && name[1] == '+') {
        char32_t c = std::strtoul(std::string(name.substr(2)).c_str(), nullptr, 16);
        return c < 0x100 ? c : 0x01000000 | c;
    }
    std::u32string chars = utf8_to_utf32(name);
    if (chars.size() != 1 || chars[0] == 0xFFFD) return 0;
    char32_t c = chars[0];
    return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c < 0x100) ? c : 0x01000000 | c;
}

char32_t keysym_to_utf32(uint32_t keysym) {
    if ((keysym >= 0x20 && keysym < 0x7F) || (keysym >= 0xA0 && keysym < 0x100)) return keysym;
    if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) return keysym - 0x01000000;
    // X's control keys carry their ASCII code in the low 7 bits.
    if ((keysym >= 0xFF08 && keysym <= 0xFF0D) || keysym == 0xFF1B) return keysym & 0x7F;
    if (keysym == 0xFFFF) return 0x7F;
    if (keysym == 0xFF80) return ' ';
    if (keysym == 0xFF89) return '\t';
    if (keysym == 0xFF8D) return '\r';
    if (keysym == 0xFFBD) return '=';
    if (keysym >= 0xFFAA && keysym <= 0xFFB9) return keysym & 0x7F;
    if (keysym == 0x20AC) return 0x20AC;  // EuroSign
    return 0;
}

std::u32string utf8_to_utf32(std::string_view text) {
    std::u32string out;
    auto p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    while (p < end) {
        int32_t c;
        p = unicode::decode_utf8_char(p, end, &c);
        out.push_back(c == unicode::REJECTED ? 0xFFFD : static_cast<char32_t>(c));
    }
    return out;
}

KeyTranslation translate_key(uint32_t keysym, uint32_t mods, char32_t text, bool text_known) {
    KeyInfo info = key_info(keysym);
    KeyTranslation t{info.vk, info.extended, false, text_known ? text : keysym_to_utf32(keysym)};
    bool ctrl = (mods & MOD_CONTROL) && !(mods & MOD_ALTGR);
    if ((mods & MOD_ALT) && !(mods & MOD_ALTGR) && info.vk != 0x12) {
        t.syskey = true;
        t.ch = 0;
        return t;
    }
    if (keysym == 0xFFE9 || keysym == 0xFFEA) t.syskey = true;  // Alt itself
    if (info.vk == 0x2E && keysym != 0xFFAE) t.ch = 0;  // Delete gives no character
    if (keysym == 0xFE20) t.ch = '\t';                   // Shift+Tab
    if (ctrl) {
        if (info.vk == 0x08) t.ch = 0x7F;
        else if (info.vk == 0x0D) t.ch = 0x0A;
        else if (is_letter(t.ch)) t.ch &= 0x1F;
        else if (t.ch == '[' || t.ch == '\\' || t.ch == ']') t.ch &= 0x1F;
        else if (t.ch >= 0x20 && t.ch != ' ' && t.ch < 0x7F) t.ch = 0;
    }
    return t;
}

char32_t vk_to_char(uint8_t vk) {
    if (vk >= 'A' && vk <= 'Z') return vk;
    for (const UsKey& k : k_us_keys)
        if (k.vk == vk) return static_cast<unsigned char>(k.plain);
    if (vk >= 0x60 && vk <= 0x69) return '0' + (vk - 0x60);
    switch (vk) {
        case 0x08: return 0x08;
        case 0x09: return 0x09;
        case 0x0D: return 0x0D;
        case 0x1B: return 0x1B;
        case 0x6A: return '*';
        case 0x6B: return '+';
        case 0x6D: return '-';
        case 0x6E: return '.';
        case 0x6F: return '/';
        default: return 0;
    }
}

uint16_t modifier_scan_code(uint8_t vk_side) {
    switch (vk_side) {
        case 0xA0: return 0x2A;
        case 0xA1: return 0x36;
        case 0xA2: case 0xA3: return 0x1D;
        case 0xA4: case 0xA5: return 0x38;
        case 0x5B: return 0x5B;
        case 0x5C: return 0x5C;
        default: return 0;
    }
}

uint8_t vk_from_scan_code(uint16_t scan) {
    switch (scan) {
        case 0x2A: return 0xA0;
        case 0x36: return 0xA1;
        case 0x1D: return 0xA2;
        case 0x38: return 0xA4;
        default: return 0;
    }
}

int32_t vk_key_scan(char32_t ch) {
    if (ch >= 'a' && ch <= 'z') return static_cast<int32_t>(ch - 0x20);
    if (ch >= 'A' && ch <= 'Z') return static_cast<int32_t>(ch) | 0x100;
    for (const UsKey& k : k_us_keys) {
        if (static_cast<unsigned char>(k.plain) == ch) return k.vk;
        if (static_cast<unsigned char>(k.shifted) == ch) return k.vk | 0x100;
    }
    switch (ch) {
        case 0x08: return 0x08;
        case 0x09: return 0x09;
        case 0x0D: return 0x0D;
        case 0x1B: return 0x1B;
        default: return -1;
    }
}

}  // namespace zun::win
