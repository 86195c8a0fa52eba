// Parse input matching: one rule value against the input at its position,
// runs of a value, and the forward search of to and thru. Nothing here
// allocates (except the token scan of a datatype rule on binary input), so
// the buffer pointers read at the start of each routine stay good.
#include <algorithm>
#include <bit>

#include "core/case_folding.hpp"
#include "core/support.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/typeset.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/parse_internal.hpp"

namespace zun::parser {

namespace {

using memory::SeriesBuffer;

inline uint32_t fold(uint32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
    return unicode::change_case(c, true);
}

inline bool same_char(uint32_t a, uint32_t b, bool exact) {
    return a == b || (!exact && fold(a) == fold(b));
}

bool string_like(uint32_t t) { return string::any_string_q(t); }

// The units of a series from its head.
struct Units {
    const uint8_t* data;
    uint32_t unit;
    int32_t count;
    uint32_t at(int32_t i) const { return string::get_char(data + size_t(i) * unit, unit); }
};

Units units_of(const Cell* series) {
    SeriesBuffer* b = memory::buffer_of(series->data2);
    const uint32_t unit = b->unit();
    const int32_t total = int32_t(b->used() >> std::countr_zero(unit));
    const int32_t head = std::min(int32_t(series->data1), total);
    return Units{b->head_ptr() + size_t(head) * unit, unit, total - head};
}

// Bits beyond the bitset's bytes answer by its complemented flag.
bool in_bitset(const Cell& bitset, uint32_t c) {
    SeriesBuffer* b = memory::buffer_of(bitset.data2);
    if (c / 8 >= b->used()) return b->flags & memory::COMPLEMENTED_FLAG;
    return b->head_ptr()[c / 8] & (0x80 >> (c % 8));
}

// UTF-8 of one code point; answers the byte count.
int utf8_of(uint32_t c, uint8_t out[4]) {
    if (c < 0x80) { out[0] = uint8_t(c); return 1; }
    if (c < 0x800) { out[0] = uint8_t(0xC0 | c >> 6); out[1] = uint8_t(0x80 | (c & 63)); return 2; }
    if (c < 0x10000) {
        out[0] = uint8_t(0xE0 | c >> 12);
        out[1] = uint8_t(0x80 | ((c >> 6) & 63));
        out[2] = uint8_t(0x80 | (c & 63));
        return 3;
    }
    out[0] = uint8_t(0xF0 | c >> 18);
    out[1] = uint8_t(0x80 | ((c >> 12) & 63));
    out[2] = uint8_t(0x80 | ((c >> 6) & 63));
    out[3] = uint8_t(0x80 | (c & 63));
    return 4;
}

// Units a string-like or binary value covers at position p of the input
// (p < end not required), or -1 when it does not match there.
int32_t match_at(const Units& in, int32_t p, int32_t end, bool binary_input, const Cell& value,
                 int mode) {
    const bool exact = mode == 2;
    const uint32_t t = value.type();
    if (t == TYPE_CHAR) {
        if (p >= end) return -1;
        const uint32_t c = in.at(p);
        return (binary_input ? c == value.data2 || (!exact && value.data2 < 0x80 &&
                                                    same_char(c, value.data2, false))
                             : same_char(c, value.data2, exact))
                   ? 1
                   : -1;
    }
    if (t == TYPE_BITSET) return p < end && in_bitset(value, in.at(p)) ? 1 : -1;
    if (!string_like(t) && t != TYPE_BINARY) return -1;
    const Units v = units_of(&value);
    const bool tag = t == TYPE_TAG;
    int32_t q = p;
    if (tag) {
        if (q >= end || in.at(q) != '<') return -1;
        q++;
    }
    if (binary_input && t != TYPE_BINARY) {
        for (int32_t k = 0; k < v.count; k++) {
            uint8_t bytes[4];
            const int n = utf8_of(v.at(k), bytes);
            if (q + n > end) return -1;
            for (int j = 0; j < n; j++, q++)
                if (!same_char(in.at(q), bytes[j], exact || bytes[j] >= 0x80)) return -1;
        }
    } else {
        if (q + v.count > end) return -1;
        for (int32_t k = 0; k < v.count; k++, q++)
            if (!same_char(in.at(q), v.at(k), exact)) return -1;
    }
    if (tag) {
        if (q >= end || in.at(q) != '>') return -1;
        q++;
    }
    return q - p;
}

bool compare_value(const Cell* item, const Cell& value, int mode) {
    Cell a = *item, b = value;
    int op = mode;
    if (b.is(TYPE_LIT_WORD) || b.is(TYPE_LIT_PATH)) op = mode == 2 ? COMP_STRICT_LIT : COMP_LOOSE_LIT;
    return actions::compare(&a, &b, op);
}

int32_t head_of(const Input& in) { return int32_t(in.series->data1); }

}  // namespace

InputKind input_kind(const Cell* series) {
    const uint32_t t = series->type();
    if (string::any_string_q(t)) return STRING_INPUT;
    if (t == TYPE_BINARY) return BINARY_INPUT;
    return BLOCK_INPUT;
}

uint32_t unit_at(const Cell* series, int32_t index) {
    SeriesBuffer* b = memory::buffer_of(series->data2);
    return string::get_char(b->head_ptr() + size_t(index) * b->unit(), b->unit());
}

bool match_literal(Input in, const Cell& value, int mode) {
    const int32_t p = head_of(in);
    const InputKind kind = input_kind(in.series);
    if (kind == BLOCK_INPUT) {
        if (p >= in.end) return false;
        const Cell item = *block::cell_at(in.series, p);
        if (!compare_value(&item, value, mode)) return false;
        in.series->data1 = uint32_t(p + 1);
        return true;
    }
    if (p >= in.end) {
        const uint32_t t = value.type();
        return kind == STRING_INPUT && (t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL) &&
               units_of(&value).count == 0;
    }
    Cell whole = *in.series;
    whole.data1 = 0;
    const int32_t n = match_at(units_of(&whole), p, in.end, kind == BINARY_INPUT, value, mode);
    if (n < 0) return false;
    in.series->data1 = uint32_t(p + n);
    return true;
}

bool match_type(Input in, const Cell& value) {
    const InputKind kind = input_kind(in.series);
    if (kind == STRING_INPUT) support::fire_error(ErrorId::script_parse_unsupported);
    const int32_t p = head_of(in);
    if (p >= in.end) return false;
    uint32_t type;
    int32_t advance = 1;
    if (kind == BINARY_INPUT) {
        Cell bin = *in.series;
        Cell out = make_cell(TYPE_NONE);
        lexer::Options options;
        options.one_value = true;
        options.produce = false;
        uint32_t consumed = 0;
        const int32_t t = lexer::load_binary(&out, &bin, in.end - p, options, &consumed);
        if (t <= 0 || t == TYPE_ERROR || consumed == 0) return false;
        type = uint32_t(t);
        advance = int32_t(consumed);
    } else {
        type = block::cell_at(in.series, p)->type();
    }
    const bool ok = value.is(TYPE_DATATYPE) ? value.data1 == type : typeset::has(&value, type);
    if (ok) in.series->data1 = uint32_t(p + advance);
    return ok;
}

bool match_repeat(Input in, const Cell& value, int32_t min, int32_t max, int mode) {
    const int32_t start = head_of(in);
    if (in.end - start <= 0 || in.end - start < min) return false;
    const InputKind kind = input_kind(in.series);
    int32_t count = 0, p = start;
    if (kind == BLOCK_INPUT) {
        while (p < in.end && (max < 0 || count < max)) {
            const Cell item = *block::cell_at(in.series, p);
            if (!compare_value(&item, value, mode)) break;
            p++;
            count++;
        }
    } else {
        const uint32_t t = value.type();
        if (t != TYPE_CHAR && t != TYPE_BITSET && !string_like(t) && t != TYPE_BINARY) return false;
        Cell whole = *in.series;
        whole.data1 = 0;
        const Units u = units_of(&whole);
        const bool binary = kind == BINARY_INPUT;
        if (t == TYPE_CHAR && !binary) {  // the common runs, without the general match
            const uint32_t c = value.data2;
            const bool exact = mode == 2;
            const uint32_t folded = fold(c);
            while (p < in.end && (max < 0 || count < max)) {
                const uint32_t x = u.at(p);
                if (x != c && (exact || fold(x) != folded)) break;
                p++;
                count++;
            }
        } else if (t == TYPE_BITSET) {
            while (p < in.end && (max < 0 || count < max) && in_bitset(value, u.at(p))) {
                p++;
                count++;
            }
        } else {
            while (p < in.end && (max < 0 || count < max)) {
                const int32_t n = match_at(u, p, in.end, binary, value, mode);
                if (n < 0) break;
                p += n;
                count++;
                if (n == 0) break;  // an empty value matches once
            }
        }
    }
    const bool ok = count >= min && (max < 0 || count <= max);
    in.series->data1 = uint32_t(ok ? p : start);
    return ok;
}

bool scan_to(Input in, const Cell& value, int mode, bool thru) {
    const int32_t start = head_of(in);
    const InputKind kind = input_kind(in.series);
    if (kind == BLOCK_INPUT) {
        for (int32_t p = start; p < in.end; p++) {
            const Cell item = *block::cell_at(in.series, p);
            if (compare_value(&item, value, mode)) {
                in.series->data1 = uint32_t(thru ? p + 1 : p);
                return true;
            }
        }
        return false;
    }
    const uint32_t t = value.type();
    if (t != TYPE_CHAR && t != TYPE_BITSET && !string_like(t) && t != TYPE_BINARY) {
        Cell v = value;
        support::fire_error(ErrorId::script_parse_rule, &v);
    }
    Cell whole = *in.series;
    whole.data1 = 0;
    const Units u = units_of(&whole);
    const bool binary = kind == BINARY_INPUT;
    if (t == TYPE_CHAR) {
        const uint32_t c = value.data2;
        const bool exact = mode == 2 || binary;
        if (!binary && u.unit < 4 && c > 0xFFFF) return false;
        const uint32_t folded = fold(c);
        for (int32_t p = start; p < in.end; p++) {
            const uint32_t x = u.at(p);
            if (x == c || (!exact && fold(x) == folded)) {
                in.series->data1 = uint32_t(thru ? p + 1 : p);
                return true;
            }
        }
        return false;
    }
    if (t == TYPE_BITSET) {
        for (int32_t p = start; p < in.end; p++) {
            if (in_bitset(value, u.at(p))) {
                in.series->data1 = uint32_t(thru ? p + 1 : p);
                return true;
            }
        }
        return false;
    }
    for (int32_t p = start; p <= in.end; p++) {
        const int32_t n = match_at(u, p, in.end, binary, value, mode);
        if (n >= 0) {
            in.series->data1 = uint32_t(thru ? p + n : p);
            return true;
        }
    }
    return false;
}

bool keep_run(const Cell* input, int32_t from, Cell* target, bool append) {
    const uint32_t in_unit = memory::buffer_of(input->data2)->unit();
    const uint32_t target_unit = memory::buffer_of(target->data2)->unit();
    if (in_unit != target_unit || in_unit > 4) return false;
    const int32_t n = int32_t(input->data1) - from;
    if (n <= 0) return true;
    Cell source = *input;
    source.data1 = uint32_t(from);
    const bool at_tail = append || string::length_from_start(target) == 0;
    string::concatenate(target, &source, n, 0, true,
                        at_tail ? string::APPEND_MODE : string::INSERT_MODE);
    if (!at_tail) target->data1 += uint32_t(n);
    return true;
}

}  // namespace zun::parser
