#include "platform/keys.hpp"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <string>
#include <vector>

using namespace zun::win;

namespace {

// Every key name the table knows, with letters, digits and function keys.
std::vector<std::string> all_names() {
    std::vector<std::string> names = {
        "space", "exclam", "quotedbl", "numbersign", "dollar", "percent", "ampersand", "apostrophe",
        "parenleft", "parenright", "asterisk", "plus", "comma", "minus", "period", "slash", "colon",
        "semicolon", "less", "equal", "greater", "question", "at", "bracketleft", "backslash",
        "bracketright", "asciicircum", "underscore", "grave", "braceleft", "bar", "braceright",
        "asciitilde", "BackSpace", "Tab", "ISO_Left_Tab", "Return", "Pause", "Scroll_Lock", "Escape",
        "Home", "Left", "Up", "Right", "Down", "Prior", "Next", "End", "Print", "Insert", "Menu",
        "Num_Lock", "KP_Enter", "KP_Home", "KP_Left", "KP_Up", "KP_Right", "KP_Down", "KP_Prior",
        "KP_Next", "KP_End", "KP_Begin", "KP_Insert", "KP_Delete", "KP_Multiply", "KP_Add",
        "KP_Separator", "KP_Subtract", "KP_Decimal", "KP_Divide", "Shift_L", "Shift_R", "Control_L",
        "Control_R", "Caps_Lock", "Alt_L", "Alt_R", "ISO_Level3_Shift", "Super_L", "Super_R", "Delete",
        "Page_Up", "Page_Down",
    };
    for (char c = 'a'; c <= 'z'; ++c) names.push_back(std::string(1, c)), names.push_back(std::string(1, char(c - 32)));
    for (char c = '0'; c <= '9'; ++c) names.push_back(std::string(1, c));
    for (int i = 0; i <= 9; ++i) names.push_back("KP_" + std::to_string(i));
    for (int i = 1; i <= 24; ++i) names.push_back("F" + std::to_string(i));
    return names;
}

TEST(KeysTest, NamesAndCharactersAgreeWithXkbcommon) {
    for (const std::string& name : all_names()) {
        uint32_t ks = keysym_from_name(name);
        EXPECT_EQ(ks, xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS)) << name;
        EXPECT_EQ(keysym_to_utf32(ks), xkb_keysym_to_utf32(ks)) << name;
        EXPECT_NE(key_info(ks).vk, 0) << name;
    }
    // Latin-1 and Unicode keysyms, and the unknown.
    for (uint32_t ks = 0x20; ks < 0x100; ++ks)
        EXPECT_EQ(keysym_to_utf32(ks), xkb_keysym_to_utf32(ks)) << std::hex << ks;
    for (uint32_t ks : {0x10020ACu, 0x100263Au, 0x101F600u, 0x20ACu, 0xFFBEu, 0u})
        EXPECT_EQ(keysym_to_utf32(ks), xkb_keysym_to_utf32(ks)) << std::hex << ks;
    EXPECT_EQ(keysym_from_name("é"), 0xE9u);
    EXPECT_EQ(keysym_from_name("€"), 0x10020ACu);
    EXPECT_EQ(keysym_from_name("U+1F600"), 0x101F600u);
    EXPECT_EQ(keysym_from_name("F25"), 0u);
    EXPECT_EQ(keysym_from_name("NoSuchKey"), 0u);
}

// The key words of the event datatype come from these virtual keys.
TEST(KeysTest, VirtualKeysOfTheKeyWords) {
    struct Row {
        const char* name;
        uint8_t vk, side;
        bool extended;
    } rows[] = {
        {"Prior", 0x21, 0x21, true},     {"Next", 0x22, 0x22, true},     {"End", 0x23, 0x23, true},
        {"Home", 0x24, 0x24, true},      {"Left", 0x25, 0x25, true},     {"Up", 0x26, 0x26, true},
        {"Right", 0x27, 0x27, true},     {"Down", 0x28, 0x28, true},     {"Insert", 0x2D, 0x2D, true},
        {"Delete", 0x2E, 0x2E, true},    {"F1", 0x70, 0x70, false},      {"F12", 0x7B, 0x7B, false},
        {"F24", 0x87, 0x87, false},      {"Shift_L", 0x10, 0xA0, false}, {"Shift_R", 0x10, 0xA1, false},
        {"Control_L", 0x11, 0xA2, false}, {"Control_R", 0x11, 0xA3, true}, {"Caps_Lock", 0x14, 0x14, false},
        {"Num_Lock", 0x90, 0x90, true},  {"Alt_L", 0x12, 0xA4, false},   {"Alt_R", 0x12, 0xA5, true},
        {"Super_L", 0x5B, 0x5B, true},   {"Return", 0x0D, 0x0D, false},  {"KP_Enter", 0x0D, 0x0D, true},
        {"KP_7", 0x67, 0x67, false},     {"KP_Divide", 0x6F, 0x6F, true}, {"a", 'A', 'A', false},
        {"Z", 'Z', 'Z', false},          {"5", '5', '5', false},         {"semicolon", 0xBA, 0xBA, false},
        {"colon", 0xBA, 0xBA, false},    {"bracketright", 0xDD, 0xDD, false}, {"grave", 0xC0, 0xC0, false},
        {"Escape", 0x1B, 0x1B, false},   {"BackSpace", 0x08, 0x08, false}, {"ISO_Left_Tab", 0x09, 0x09, false},
    };
    for (const Row& r : rows) {
        KeyInfo k = key_info(keysym_from_name(r.name));
        EXPECT_EQ(k.vk, r.vk) << r.name;
        EXPECT_EQ(k.vk_side, r.side) << r.name;
        EXPECT_EQ(k.extended, r.extended) << r.name;
    }
    EXPECT_EQ(vk_from_scan_code(modifier_scan_code(0xA1)), 0xA1);
    EXPECT_EQ(vk_from_scan_code(modifier_scan_code(0xA0)), 0xA0);
}

// Windows' rules where X's characters differ.
TEST(KeysTest, CharactersFollowWindowsRules) {
    struct Row {
        const char* name;
        uint32_t mods;
        const char* text;  // what the input method gives; null: no input method
        uint8_t vk;
        bool syskey;
        char32_t ch;
    } rows[] = {
        {"Return", 0, "\r", 0x0D, false, 13},
        {"Left", 0, "", 0x25, false, 0},
        {"a", MOD_CONTROL, "\x01", 'A', false, 1},
        {"a", MOD_CONTROL, nullptr, 'A', false, 1},
        {"A", MOD_CONTROL | MOD_SHIFT, nullptr, 'A', false, 1},
        {"Delete", 0, "\x7f", 0x2E, false, 0},
        {"BackSpace", MOD_CONTROL, "\b", 0x08, false, 0x7F},
        {"Return", MOD_CONTROL, "\r", 0x0D, false, 0x0A},
        {"KP_Enter", MOD_CONTROL, nullptr, 0x0D, false, 0x0A},
        {"ISO_Left_Tab", MOD_SHIFT, "", 0x09, false, 9},
        {"a", MOD_ALT, "a", 'A', true, 0},
        {"F4", MOD_ALT, "", 0x73, true, 0},
        {"e", MOD_ALTGR | MOD_CONTROL | MOD_ALT, "\xe2\x82\xac", 'E', false, 0x20AC},
        {"F12", 0, "", 0x7B, false, 0},
        {"Escape", 0, nullptr, 0x1B, false, 0x1B},
        {"bracketleft", MOD_CONTROL, nullptr, 0xDB, false, 0x1B},
        {"1", MOD_CONTROL, nullptr, '1', false, 0},
        {"eacute", 0, nullptr, 0, false, 0xE9},
        {"KP_Decimal", 0, nullptr, 0x6E, false, '.'},
    };
    for (const Row& r : rows) {
        uint32_t ks = r.name == std::string("eacute") ? 0xE9 : keysym_from_name(r.name);
        char32_t text = 0;
        if (r.text) {
            std::string t = r.text;
            if (t == "\xe2\x82\xac") text = 0x20AC;
            else if (!t.empty()) text = static_cast<unsigned char>(t[0]);
        }
        KeyTranslation k = translate_key(ks, r.mods, text, r.text != nullptr);
        EXPECT_EQ(k.vk, r.vk) << r.name << " " << r.mods;
        EXPECT_EQ(k.syskey, r.syskey) << r.name << " " << r.mods;
        EXPECT_EQ(k.ch, r.ch) << r.name << " " << r.mods;
    }
}

TEST(KeysTest, MapVirtualKeyAndVkKeyScan) {
    struct Row {
        uint8_t vk;
        char32_t unshifted;
    } rows[] = {{'A', 'A'}, {'Z', 'Z'}, {'7', '7'}, {0xBA, ';'}, {0xBB, '='}, {0xBF, '/'},
                {0xDE, '\''}, {0xC0, '`'}, {0x20, ' '}, {0x0D, 13}, {0x25, 0}, {0x70, 0}, {0x64, '4'}};
    for (const Row& r : rows) EXPECT_EQ(vk_to_char(r.vk), r.unshifted) << int(r.vk);
    struct Scan {
        char32_t ch;
        int32_t result;
    } scans[] = {{'a', 'A'}, {'A', 'A' | 0x100}, {'!', '1' | 0x100}, {'_', 0xBD | 0x100},
                 {';', 0xBA}, {'~', 0xC0 | 0x100}, {'\r', 0x0D}, {0xE9, -1}, {0x1F600, -1}};
    for (const Scan& s : scans) EXPECT_EQ(vk_key_scan(s.ch), s.result) << uint32_t(s.ch);
}

}  // namespace
