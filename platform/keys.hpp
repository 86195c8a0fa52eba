// X keysyms to Windows virtual keys and characters, for both displays.
//
// The window layer reports keys the Windows way (WM_KEYDOWN with a virtual-key
// code, WM_CHAR with the character), so the key words of the event datatype
// keep their meaning on X. Where X and Windows disagree on a key's character,
// translate_key keeps Windows' rule.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace zun::win {

// Modifier and button state of an input event (both displays report this).
enum KeyMods : uint32_t {
    MOD_SHIFT = 0x1,
    MOD_CONTROL = 0x2,
    MOD_ALT = 0x4,
    MOD_ALTGR = 0x8,
    MOD_SUPER = 0x10,
    MOD_CAPS = 0x20,
    MOD_BUTTON_LEFT = 0x100,
    MOD_BUTTON_MIDDLE = 0x200,
    MOD_BUTTON_RIGHT = 0x400,
    MOD_BUTTON_X1 = 0x800,
    MOD_BUTTON_X2 = 0x1000,
};

struct KeyInfo {
    uint32_t keysym;
    uint8_t vk;          // what WM_KEYDOWN carries (VK_SHIFT for both shifts)
    uint8_t vk_side;     // the left or right form (VK_LSHIFT ...), else vk
    bool extended;       // bit 24 of the key message's lParam
};

// The table entry of a keysym; vk 0 when the keysym has no virtual key.
KeyInfo key_info(uint32_t keysym);
// The keysym of an X keysym name ("Return", "a", "F12", "KP_Enter"); also a
// single UTF-8 character and "U+20AC"; 0 when unknown.
uint32_t keysym_from_name(std::string_view name);
// The character X gives a keysym without an input method, 0 for none.
char32_t keysym_to_utf32(uint32_t keysym);

// The characters of UTF-8 text (input methods, test input); a malformed
// sequence gives U+FFFD.
std::u32string utf8_to_utf32(std::string_view text);

struct KeyTranslation {
    uint8_t vk = 0;
    bool extended = false;
    bool syskey = false;   // WM_SYSKEYDOWN / WM_SYSKEYUP
    char32_t ch = 0;       // the WM_CHAR, 0 for none
};
// A key press with its modifiers and the character the input method made of
// it (0 when it made none; text_known false when there is no input method, so
// the keysym's own character is used).
KeyTranslation translate_key(uint32_t keysym, uint32_t mods, char32_t text, bool text_known);

// MapVirtualKey(vk, MAPVK_VK_TO_CHAR): the unshifted character, letters
// upper-case; 0 for none.
char32_t vk_to_char(uint8_t vk);
// The PC scan code of a left or right modifier's virtual key (VK_LSHIFT ...),
// 0 for other keys; and back (MAPVK_VSC_TO_VK_EX: shifts by scan code).
uint16_t modifier_scan_code(uint8_t vk_side);
uint8_t vk_from_scan_code(uint16_t scan);
// VkKeyScan: vk in the low byte, 0x100 with Shift; -1 when no key gives ch.
int32_t vk_key_scan(char32_t ch);

}  // namespace zun::win
