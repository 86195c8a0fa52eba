#include "startup/line_editor.hpp"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/cell.hpp"
#include "core/unicode.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/url.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

namespace zun::line_editor {

namespace {

constexpr char32_t CTRL_A = 1, CTRL_B = 2, CTRL_D = 4, CTRL_E = 5, CTRL_F = 6, CTRL_H = 8,
                   TAB = 9, LF = 10, CTRL_K = 11, CR = 13, CTRL_N = 14, CTRL_P = 16,
                   CTRL_U = 21, CTRL_W = 23, ESC = 27, DEL = 127;
// Keys that come as escape sequences, above the code points.
constexpr char32_t KEY_UP = 0x110001, KEY_DOWN = 0x110002, KEY_RIGHT = 0x110003,
                   KEY_LEFT = 0x110004, KEY_HOME = 0x110005, KEY_END = 0x110006,
                   KEY_DELETE = 0x110007, KEY_NONE = 0x110000;
constexpr int ESCAPE_WAIT_MS = 50;

std::u32string decode(const std::string& text) {
    std::u32string out;
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    while (p < end) {
        int32_t c = 0;
        const uint8_t* next = unicode::decode_utf8_char(p, end, &c);
        if (c < 0 || next <= p) {
            out.push_back(U'\uFFFD');
            p++;
            continue;
        }
        out.push_back(char32_t(c));
        p = next;
    }
    return out;
}

std::string encode(const std::u32string& text, size_t from = 0, size_t count = std::u32string::npos) {
    std::string out;
    const size_t last = std::min(text.size(), count == std::u32string::npos ? text.size() : from + count);
    uint8_t bytes[8];
    for (size_t i = from; i < last; i++) {
        const uint32_t n = unicode::encode_utf8_char(uint32_t(text[i]), bytes);
        out.append(reinterpret_cast<char*>(bytes), n);
    }
    return out;
}

int columns() {
    winsize ws{};
    if (ioctl(1, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return 80;
    return ws.ws_col;
}

void emit(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(1, text.data() + done, text.size() - done);
        if (n > 0) done += size_t(n);
        else if (n < 0 && errno == EINTR) continue;
        else return;
    }
}

// No line buffering and no echo while a line is edited; signals stay on,
// so Ctrl-C reaches the console's handler as it does for the plain reader.
class RawMode {
public:
    RawMode() {
        if (tcgetattr(0, &m_saved) != 0) return;
        termios raw = m_saved;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO | IEXTEN);
        raw.c_iflag &= ~tcflag_t(IXON);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        m_on = tcsetattr(0, TCSADRAIN, &raw) == 0;
    }
    ~RawMode() {
        if (m_on) tcsetattr(0, TCSADRAIN, &m_saved);
    }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;

private:
    termios m_saved{};
    bool m_on = false;
};

enum class Read { byte, end, interrupted };

Read read_byte(uint8_t& byte) {
    const ssize_t n = ::read(0, &byte, 1);
    if (n == 1) return Read::byte;
    if (n < 0 && errno == EINTR) return Read::interrupted;
    return Read::end;
}

bool byte_ready(int wait_ms) {
    pollfd p{0, POLLIN, 0};
    return poll(&p, 1, wait_ms) > 0;
}

// The key after an ESC: a CSI or SS3 sequence, its modifiers ignored.
char32_t escape_key() {
    uint8_t b = 0;
    if (!byte_ready(ESCAPE_WAIT_MS) || read_byte(b) != Read::byte) return KEY_NONE;
    if (b != '[' && b != 'O') return KEY_NONE;
    std::string params;
    uint8_t final = 0;
    while (byte_ready(ESCAPE_WAIT_MS) && read_byte(final) == Read::byte) {
        if (final >= 0x40 && final <= 0x7E) break;
        params.push_back(char(final));
        final = 0;
    }
    switch (final) {
        case 'A': return KEY_UP;
        case 'B': return KEY_DOWN;
        case 'C': return KEY_RIGHT;
        case 'D': return KEY_LEFT;
        case 'H': return KEY_HOME;
        case 'F': return KEY_END;
        case '~': {
            const int code = std::atoi(params.c_str());
            if (code == 1 || code == 7) return KEY_HOME;
            if (code == 4 || code == 8) return KEY_END;
            if (code == 3) return KEY_DELETE;
            return KEY_NONE;
        }
        default: return KEY_NONE;
    }
}

class Editor {
public:
    Editor(const std::string& prompt, const Hooks& hooks) : m_hooks(hooks) {
        const size_t cut = prompt.rfind('\n');
        m_prompt = cut == std::string::npos ? prompt : prompt.substr(cut + 1);
        m_prompt_width = decode(m_prompt).size();
    }

    Outcome run(std::string& line) {
        for (;;) {
            if (m_hooks.cancelled && m_hooks.cancelled()) return Outcome::cancelled;
            uint8_t b = 0;
            const Read r = read_byte(b);
            if (r == Read::interrupted) {
                if (m_hooks.cancelled && !m_hooks.cancelled()) continue;
                return Outcome::cancelled;
            }
            if (r == Read::end) {
                if (!m_text.empty()) break;
                return Outcome::ended;
            }
            char32_t key = b;
            if (b == ESC) {
                key = escape_key();
            } else if (b >= 0x80) {
                key = rest_of_char(b);
            }
            if (key == CR || key == LF) break;
            if (key == CTRL_D && m_text.empty()) return Outcome::ended;
            press(key);
        }
        m_caret = m_text.size();
        render();
        emit("\r\n");
        line = encode(m_text);
        return Outcome::line;
    }

private:
    const Hooks& m_hooks;
    std::string m_prompt;
    size_t m_prompt_width = 0;
    std::u32string m_text;
    size_t m_caret = 0;
    size_t m_scroll = 0;
    int m_history = -1;  // -1: the line being typed
    std::u32string m_typed;

    // The continuation bytes of a UTF-8 character.
    char32_t rest_of_char(uint8_t lead) {
        const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        std::string bytes(1, char(lead));
        for (int i = 0; i < more; i++) {
            uint8_t b = 0;
            if (read_byte(b) != Read::byte) break;
            bytes.push_back(char(b));
        }
        const std::u32string c = decode(bytes);
        return c.empty() ? KEY_NONE : c[0];
    }

    void press(char32_t key) {
        switch (key) {
            case KEY_NONE: return;
            case KEY_LEFT: case CTRL_B: if (m_caret > 0) m_caret--; break;
            case KEY_RIGHT: case CTRL_F: if (m_caret < m_text.size()) m_caret++; break;
            case KEY_HOME: case CTRL_A: m_caret = 0; break;
            case KEY_END: case CTRL_E: m_caret = m_text.size(); break;
            case DEL: case CTRL_H:
                if (m_caret > 0) m_text.erase(--m_caret, 1);
                break;
            case KEY_DELETE: case CTRL_D:
                if (m_caret < m_text.size()) m_text.erase(m_caret, 1);
                break;
            case CTRL_K: m_text.erase(m_caret); break;
            case CTRL_U: m_text.erase(0, m_caret); m_caret = 0; break;
            case CTRL_W: {
                size_t from = m_caret;
                while (from > 0 && m_text[from - 1] == U' ') from--;
                while (from > 0 && m_text[from - 1] != U' ') from--;
                m_text.erase(from, m_caret - from);
                m_caret = from;
                break;
            }
            case KEY_UP: case CTRL_P: recall(m_history + 1); break;
            case KEY_DOWN: case CTRL_N: recall(m_history - 1); break;
            case TAB: complete(); break;
            default:
                if (key < 0x20 || key >= 0x110000) return;
                m_text.insert(m_caret++, 1, key);
        }
        render();
    }

    void recall(int entry) {
        if (entry < -1 || entry >= int(m_hooks.history.size())) return;
        if (m_history == -1) m_typed = m_text;
        m_history = entry;
        m_text = entry == -1 ? m_typed : decode(m_hooks.history[size_t(entry)]);
        m_caret = m_text.size();
    }

    void complete() {
        if (!m_hooks.complete) return;
        const std::optional<Completion> answer = m_hooks.complete(encode(m_text), m_caret);
        if (!answer) {
            emit("\a");
            return;
        }
        m_text = decode(answer->line);
        m_caret = std::min(answer->caret, m_text.size());
        if (!answer->candidates.empty()) list(answer->candidates);
    }

    // The candidates in columns under the line; the prompt and line follow.
    void list(const std::vector<std::string>& candidates) {
        size_t widest = 1;
        for (const std::string& c : candidates) widest = std::max(widest, decode(c).size());
        const size_t cell = widest + 2;
        const size_t per_row = std::max<size_t>(1, size_t(columns()) / cell);
        std::string out = "\r\n";
        for (size_t i = 0; i < candidates.size(); i++) {
            out += candidates[i];
            const bool row_end = (i + 1) % per_row == 0 || i + 1 == candidates.size();
            if (row_end) out += "\r\n";
            else out.append(cell - decode(candidates[i]).size(), ' ');
        }
        emit(out);
    }

    // One screen row: the prompt's last line and the part of the text around
    // the caret that fits.
    void render() {
        const size_t cols = size_t(std::max(columns(), 2));
        const size_t room = cols > m_prompt_width + 1 ? cols - m_prompt_width - 1 : 1;
        if (m_caret < m_scroll) m_scroll = m_caret;
        if (m_caret - m_scroll > room) m_scroll = m_caret - room;
        if (m_scroll > m_text.size()) m_scroll = 0;
        std::string out = "\r" + m_prompt + encode(m_text, m_scroll, room) + "\x1b[K\r";
        const size_t at = m_prompt_width + (m_caret - m_scroll);
        if (at > 0) out += "\x1b[" + std::to_string(at) + "C";
        emit(out);
    }
};

// ---------------------------------------------------------------- library glue

// Evaluates our own source text; the value is left on the stack and answered.
// try/all inside the text keeps errors and throws in there.
const Cell* evaluate(const std::string& source) {
    Cell* code = stack::push_cell();
    *code = make_cell(TYPE_NONE);
    uint32_t consumed = 0;
    lexer::transcode(code, reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()),
                     lexer::Options{}, &consumed);
    if (interpreter::eval_block(code, false) != Flow::normal) return nullptr;
    return stack::top();
}

bool text_type(const Cell& c) {
    return c.is(TYPE_STRING) || c.is(TYPE_FILE) || c.is(TYPE_URL) || c.is(TYPE_TAG) ||
           c.is(TYPE_EMAIL);
}

std::string text_of(const Cell& c) {
    Cell* copy = stack::push(&c);
    std::string text = url::utf8_of(copy);
    stack::pop(1);
    return text;
}

std::vector<std::string> console_history() {
    stack::StackScope scope;
    std::vector<std::string> history;
    const Cell* found = evaluate("try/all [system/console/history]");
    if (!found || !found->is(TYPE_BLOCK)) return history;
    const Cell block = *found;
    for (int32_t i = block::head_index(&block); i < block::length_from_start(&block); i++) {
        const Cell entry = *block::cell_at(&block, i);
        if (text_type(entry)) history.push_back(text_of(entry));
    }
    return history;
}

// The line goes in as UTF-8 bytes, so no text of it needs escaping.
std::optional<Completion> library_completion(const std::string& line, size_t caret) {
    stack::StackScope scope;
    static const char HEX[] = "0123456789ABCDEF";
    std::string source = "try/all [zun-complete-ctx/complete-input at to string! #{";
    for (unsigned char b : line) {
        source.push_back(HEX[b >> 4]);
        source.push_back(HEX[b & 15]);
    }
    source += "} " + std::to_string(caret + 1) + " true]";
    const Cell* found = evaluate(source);
    if (!found || !found->is(TYPE_BLOCK)) return std::nullopt;
    const Cell block = *found;
    const int32_t head = block::head_index(&block), tail = block::length_from_start(&block);
    if (head >= tail) return std::nullopt;
    // The first element is the new line, positioned where the caret goes.
    Cell first = *block::cell_at(&block, head);
    if (!text_type(first)) return std::nullopt;
    Completion answer;
    answer.caret = first.data1;
    first.data1 = 0;
    answer.line = text_of(first);
    for (int32_t i = head + 1; i < tail; i++) {
        const Cell candidate = *block::cell_at(&block, i);
        if (text_type(candidate)) answer.candidates.push_back(text_of(candidate));
    }
    return answer;
}

}  // namespace

bool usable() {
    if (!isatty(0) || !isatty(1)) return false;
    const char* term = std::getenv("TERM");
    return !term || std::strcmp(term, "dumb") != 0;
}

Outcome read_line(const std::string& prompt, std::string& line, const Hooks& hooks) {
    std::fflush(stdout);
    RawMode raw;
    Editor editor(prompt, hooks);
    return editor.run(line);
}

Hooks console_hooks(std::function<bool()> cancelled) {
    Hooks hooks;
    hooks.history = console_history();
    hooks.complete = library_completion;
    hooks.cancelled = std::move(cancelled);
    return hooks;
}

}  // namespace zun::line_editor
