#include "core/console_out.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/runtime.hpp"

namespace zun::console_out {

namespace {
constexpr int HOOK_STEP = 5;
constexpr uint32_t REPLACEMENT = 0xFFFD;

template <typename Hook>
struct HookList {
    Hook* items = nullptr;
    int count = 0;
    int capacity = 0;

    void init() {
        runtime::free(items);
        items = static_cast<Hook*>(runtime::allocate(HOOK_STEP * sizeof(Hook)));
        capacity = HOOK_STEP;
        count = 0;
    }
    void add(Hook hook) {
        if (count == capacity) grow();
        items[count++] = hook;
    }
    void grow() {
        auto* bigger = static_cast<Hook*>(runtime::allocate((capacity + HOOK_STEP) * sizeof(Hook)));
        if (count) std::memcpy(bigger, items, count * sizeof(Hook));
        runtime::free(items);
        items = bigger;
        capacity += HOOK_STEP;
    }
    void remove(Hook hook) {
        for (int i = 0; i < count; i++)
            if (items[i] == hook) {
                std::memmove(items + i, items + i + 1, (count - i - 1) * sizeof(Hook));
                count--;
                return;
            }
    }
};

HookList<ValueHook> g_value_hooks;
HookList<TextHook> g_text_hooks;

// Encoded text collects here and goes to stdout whenever a character might not fit.
struct OutBuffer {
    char bytes[1024];
    size_t used = 0;

    void flush() {
        if (used) std::fwrite(bytes, 1, used, stdout);
        used = 0;
    }
    void put(uint32_t cp) {
        if (used > sizeof(bytes) - 4) flush();
        used += encode_utf8(cp, bytes + used);
    }
    static size_t encode_utf8(uint32_t cp, char* out) {
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = REPLACEMENT;
        if (cp < 0x80) {
            out[0] = char(cp);
            return 1;
        }
        if (cp < 0x800) {
            out[0] = char(0xC0 | cp >> 6);
            out[1] = char(0x80 | (cp & 0x3F));
            return 2;
        }
        if (cp < 0x10000) {
            out[0] = char(0xE0 | cp >> 12);
            out[1] = char(0x80 | (cp >> 6 & 0x3F));
            out[2] = char(0x80 | (cp & 0x3F));
            return 3;
        }
        out[0] = char(0xF0 | cp >> 18);
        out[1] = char(0x80 | (cp >> 12 & 0x3F));
        out[2] = char(0x80 | (cp >> 6 & 0x3F));
        out[3] = char(0x80 | (cp & 0x3F));
        return 4;
    }
};

OutBuffer g_out;

bool high_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool low_surrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void put_latin1(const uint8_t* text, size_t count) {
    for (size_t i = 0; i < count; i++) g_out.put(text[i]);
}

void put_ucs2(const uint8_t* bytes, size_t count) {
    // The text may sit at any byte address: read units by copying.
    auto unit_at = [bytes](size_t i) {
        uint16_t u;
        std::memcpy(&u, bytes + 2 * i, 2);
        return uint32_t(u);
    };
    for (size_t i = 0; i < count; i++) {
        uint32_t u = unit_at(i);
        if (high_surrogate(u) && i + 1 < count && low_surrogate(unit_at(i + 1))) {
            u = 0x10000 + ((u - 0xD800) << 10) + (unit_at(i + 1) - 0xDC00);
            i++;
        }
        g_out.put(u);
    }
}

void put_ucs4(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; i++) {
        uint32_t cp;
        std::memcpy(&cp, bytes + 4 * i, 4);
        g_out.put(cp);
    }
}

void print_formatted(const char* format, auto value) {
    char scratch[64];
    int n = std::snprintf(scratch, sizeof scratch, format, value);
    if (n < 0) return;
    if (n >= int(sizeof scratch)) n = int(sizeof scratch) - 1;
    write_units(scratch, size_t(n), 1, false);
    call_output_hooks(scratch, n, 0);
}
}  // namespace

// Output goes through stdio, which needs no preparation; the hook lists have
// their own start-up step.
void init() { g_out.used = 0; }

void init_hooks() {
    g_value_hooks.init();
    g_text_hooks.init();
}

void add_hooks(ValueHook value_hook, TextHook text_hook) {
    if (value_hook) g_value_hooks.add(value_hook);
    if (text_hook) g_text_hooks.add(text_hook);
}

void remove_hooks(ValueHook value_hook, TextHook text_hook) {
    if (value_hook) g_value_hooks.remove(value_hook);
    if (text_hook) g_text_hooks.remove(text_hook);
}

// A hook may add or remove hooks: re-read the list on every step.
void call_print_hooks(const Cell* value, int newline) {
    for (int i = 0; i < g_value_hooks.count; i++) g_value_hooks.items[i](value, newline);
}

void call_output_hooks(const void* text, int length, int flags) {
    for (int i = 0; i < g_text_hooks.count; i++) g_text_hooks.items[i](text, length, flags);
}

int value_hook_count() { return g_value_hooks.count; }
int value_hook_capacity() { return g_value_hooks.capacity; }
int text_hook_count() { return g_text_hooks.count; }
int text_hook_capacity() { return g_text_hooks.capacity; }

void write_units(const void* text, size_t length, int unit, bool newline) {
    auto* bytes = static_cast<const uint8_t*>(text);
    if (unit == 2) put_ucs2(bytes, length / 2);
    else if (unit == 4) put_ucs4(bytes, length / 4);
    else put_latin1(bytes, length);
    if (newline) g_out.put('\n');
    g_out.flush();
    std::fflush(stdout);
}

void write_cstring(const char* text) {
    if (!text) return;
    size_t length = std::strlen(text);
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
    call_output_hooks(text, int(length), 0);
}

void print_int(int32_t value) { print_formatted("%i", value); }
void print_hex2(uint32_t value) { print_formatted("%02X", value); }
void print_hex8(uint32_t value) { print_formatted("%08X", value); }
void print_float64(double value) { print_formatted("%.16g", value); }
void print_float32(float value) { print_formatted("%.7g", double(value)); }

void check_standard_output() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return;
    const int error = errno;
    if (error) std::fprintf(stderr, "*** cannot write the standard output: %s\n", std::strerror(error));
    else std::fprintf(stderr, "*** cannot write the standard output\n");
    _exit(1);
}

void exit_checked(int status) {
    check_standard_output();
    std::fflush(stderr);
    std::_Exit(status);
}

}  // namespace zun::console_out
