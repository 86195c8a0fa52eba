// Number, date and time tokens, and the number scanners the datatypes use
// to convert text.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/float_text.hpp"
#include "core/support.hpp"
#include "datatypes/date.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/money.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/time.hpp"
#include "datatypes/tuple.hpp"
#include "interpreter/lexer_internal.hpp"


namespace zun::lexer {

using namespace tables;

namespace {

constexpr uint32_t MAX_FLOAT_TEXT = 312;

inline bool digit_q(uint8_t c) { return c >= '0' && c <= '9'; }


// Reads units of 1, 2 or 4 bytes as characters.
struct Units {
    const uint8_t* text;
    int32_t length;
    uint32_t unit;
    uint32_t operator[](int32_t i) const {
        const uint8_t* p = text + size_t(i) * unit;
        return unit == 1 ? p[0] : unit == 2 ? uint32_t(p[0] | p[1] << 8)
                                            : uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
    }
};

enum IntResult { INT_OK, INT_BAD, INT_OVERFLOW };

// Optional sign, digits with single apostrophes between them. digits_out
// counts the digits read.
template <typename Text>
IntResult parse_int_chars(const Text& t, int32_t n, int32_t* value, int32_t* digits_out) {
    int32_t i = 0;
    bool negative = false;
    if (n > 0 && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        i = 1;
    }
    if (i >= n) return INT_BAD;
    int64_t magnitude = 0;
    int32_t digits = 0;
    bool overflow = false;
    for (; i < n; i++) {
        uint32_t c = t[i];
        if (c == '\'') {
            if (digits == 0 || i + 1 >= n || t[i + 1] == '\'') return INT_BAD;
            continue;
        }
        if (c < '0' || c > '9') return INT_BAD;
        digits++;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) {
            overflow = true;
            magnitude = 2147483648LL + 1;
        }
    }
    if (digits_out) *digits_out = digits;
    if (digits == 0) return INT_BAD;
    if (overflow || magnitude > (negative ? 2147483648LL : 2147483647LL)) return INT_OVERFLOW;
    *value = int32_t(negative ? -magnitude : magnitude);
    return INT_OK;
}

struct Bytes {
    const uint8_t* p;
    uint32_t operator[](int32_t i) const { return p[i]; }
};

// Float text in a NUL-terminated buffer without apostrophes; false when too long.
bool float_buffer(const uint8_t* s, const uint8_t* e, char* out) {
    if (e - s > int64_t(MAX_FLOAT_TEXT)) return false;
    char* q = out;
    for (const uint8_t* p = s; p < e; p++)
        if (*p != '\'') *q++ = char(*p);
    *q = 0;
    return true;
}

bool days_ok(int32_t year, int32_t month, int32_t day) {
    if (month < 1 || month > 12 || day < 1) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int32_t days = k_month_days[month - 1];
    if (month == 2 && !leap) days = 28;
    return day <= days;
}

// Up to max digits (exactly max when exact is set); -1 when none.
int32_t read_digit_group(const uint8_t*& p, const uint8_t* e, int max, bool exact, int* count) {
    int32_t value = 0;
    int n = 0;
    while (p < e && n < max && digit_q(*p)) value = value * 10 + (*p++ - '0'), n++;
    if (count) *count = n;
    if (n == 0 || (exact && n != max)) return -1;
    return value;
}

// A month by number (1 or 2 digits) or by a name of 3 to 9 letters.
int32_t read_month(const uint8_t*& p, const uint8_t* e) {
    if (p < e && digit_q(*p)) return read_digit_group(p, e, 2, false, nullptr);
    const uint8_t* start = p;
    while (p < e && ((*p | 0x20) >= 'a' && (*p | 0x20) <= 'z')) p++;
    uint32_t n = uint32_t(p - start);
    if (n < 3 || n > 9) return -1;
    for (int m = 0; m < 12; m++) {
        const char* name = k_month_names[m];
        if (std::strlen(name) < n) continue;
        bool same = true;
        for (uint32_t i = 0; i < n && same; i++) same = (start[i] | 0x20) == (uint8_t(name[i]) | 0x20);
        if (same) return m + 1;
    }
    return -1;
}

// Zone: "Z", or a sign with hours and optional minutes (h, hh, hh:mm, hhmm).
bool parse_zone(const uint8_t* p, const uint8_t* e, DateFields* d) {
    d->has_zone = true;
    if (*p == 'Z' || *p == 'z') return p + 1 == e;
    bool negative = *p++ == '-';
    int n;
    int32_t hours = read_digit_group(p, e, 2, false, &n);
    if (hours < 0) return false;
    int32_t minutes = 0;
    if (p < e && *p == ':') p++;
    if (p < e) {
        minutes = read_digit_group(p, e, 2, true, nullptr);
        if (minutes < 0) return false;
    }
    // A zone is kept in quarter hours up to 15:45: more would wrap round.
    if (p != e || hours > 15 || minutes > 59) return false;
    d->zone_minutes = (hours * 60 + minutes) * (negative ? -1 : 1);
    return true;
}

struct Clock {
    int32_t hours = 0, minutes = 0;
    double seconds = 0;
    double total = 0;
};

bool parse_clock(const uint8_t* s, const uint8_t* e, Clock* c) {
    const uint8_t* p = s;
    bool negative = false;
    if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const uint8_t* colon = std::find(p, e, ':');
    if (colon == e) return false;
    bool overflow;
    if (!parse_integer(p, colon, &c->hours, &overflow) || c->hours < 0) return false;
    p = colon + 1;
    const uint8_t* start = p;
    while (p < e && digit_q(*p)) p++;
    if (p == start || p - start > 9) return false;
    for (const uint8_t* q = start; q < p; q++) c->minutes = c->minutes * 10 + (*q - '0');
    if (p == e) {
        // hours and minutes
    } else if (*p == ':') {
        if (p + 1 >= e) return false;  // "1:30:"
        if (!float_syntax_q(p + 1, e) || std::find(p + 1, e, 'e') != e ||
            std::find(p + 1, e, 'E') != e || !convert_float(p + 1, e, 0, &c->seconds) ||
            c->seconds < 0)
            return false;
    } else if (*p == '.' || *p == ',') {
        // The groups are minutes and seconds: "1:30.5".
        const uint8_t* q = p + 1;
        while (q < e && digit_q(*q)) q++;
        if (q != e || e - start > int64_t(MAX_FLOAT_TEXT)) return false;
        char text[MAX_FLOAT_TEXT + 1];
        std::memcpy(text, start, size_t(e - start));
        text[p - start] = '.';
        const uint8_t* t = reinterpret_cast<const uint8_t*>(text);
        if (!convert_float(t, t + (e - start), 0, &c->seconds)) return false;
        c->minutes = c->hours;
        c->hours = 0;
    } else {
        return false;
    }
    c->total = c->hours * 3600.0 + c->minutes * 60.0 + c->seconds;
    if (negative) c->total = -c->total;
    return true;
}

// A time of day with an optional zone, after "/" or "T".
bool parse_day_time(const uint8_t* p, const uint8_t* e, DateFields* d) {
    if (p >= e) return false;
    const uint8_t* zone = p + 1;
    while (zone < e && *zone != '+' && *zone != '-' && *zone != 'Z' && *zone != 'z') zone++;
    Clock c;
    if (!parse_clock(p, zone, &c) || c.total < 0 || c.hours > 23 || c.minutes > 59 ||
        c.seconds >= 60)
        return false;
    d->seconds = c.total;
    d->has_time = true;
    return zone == e || parse_zone(zone, e, d);
}

// "T" hh mm [ss[.frac]] then an optional zone.
bool parse_compact_time(const uint8_t* p, const uint8_t* e, DateFields* d) {
    if (p >= e || (*p != 'T' && *p != 't')) return false;
    p++;
    int32_t hours = read_digit_group(p, e, 2, true, nullptr);
    int32_t minutes = read_digit_group(p, e, 2, true, nullptr);
    if (hours < 0 || minutes < 0 || hours > 23 || minutes > 59) return false;
    double seconds = 0;
    const uint8_t* start = p;
    while (p < e && (digit_q(*p) || *p == '.')) p++;
    if (p > start && !convert_float(start, p, 0, &seconds)) return false;
    d->seconds = hours * 3600.0 + minutes * 60.0 + seconds;
    d->has_time = true;
    return p == e || parse_zone(p, e, d);
}

// Optional sign, "1.#", then "NAN" or "INF" in any case.
bool float_special(const uint8_t* s, const uint8_t* e, double* value) {
    const uint8_t* p = s;
    bool negative = false;
    if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (e - p != 6 || p[0] != '1' || p[1] != '.' || p[2] != '#') return false;
    auto is = [&](const char* word) {
        return (p[3] | 0x20) == word[0] && (p[4] | 0x20) == word[1] && (p[5] | 0x20) == word[2];
    };
    if (is("nan"))
        *value = std::numeric_limits<double>::quiet_NaN();
    else if (is("inf"))
        *value = negative ? -std::numeric_limits<double>::infinity()
                          : std::numeric_limits<double>::infinity();
    else
        return false;
    return true;
}

bool time_fields_ok(const DateFields& d) {
    if (!d.has_time) return true;
    double s = d.seconds;
    return s >= 0 && s < 86400.0 && std::fmod(s, 60.0) < 60.0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared parsers

bool float_syntax_q(const uint8_t* s, const uint8_t* e) {
    if (e - s > int64_t(MAX_FLOAT_TEXT)) return false;
    uint32_t state = 0;
    for (const uint8_t* p = s; p < e; p++) state = k_float_next[state][k_float_class[*p]];
    return k_float_may_end[state];
}

bool convert_float(const uint8_t* s, const uint8_t* e, int shift, double* value) {
    char text[MAX_FLOAT_TEXT + 1];
    if (!float_buffer(s, e, text)) return false;
    const uint8_t* start = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = start + std::strlen(text);
    int rest = 0;
    *value = dtoa::strtod(start, end, shift, &rest);
    return rest == 0 && end > start;
}

bool parse_integer(const uint8_t* s, const uint8_t* e, int32_t* value, bool* overflow) {
    int32_t digits = 0;
    IntResult r = parse_int_chars(Bytes{s}, int32_t(e - s), value, &digits);
    *overflow = r == INT_OVERFLOW || (r == INT_OK && digits > 10);
    return r == INT_OK && digits <= 10;
}

bool parse_time(const uint8_t* s, const uint8_t* e, double* seconds) {
    Clock c;
    if (!parse_clock(s, e, &c)) return false;
    *seconds = c.total;
    return true;
}

bool parse_date(const uint8_t* s, const uint8_t* e, DateFields* d) {
    const uint8_t* p = s;
    bool negative = p < e && *p == '-';
    if (negative) p++;
    int n1;
    int32_t first = read_digit_group(p, e, 4, false, &n1);
    if (first < 0 || p >= e) return false;
    if (negative) first = -first;
    if (digit_q(*p)) {
        // Compact ISO: yyyymmddThhmm[ss][zone].
        if (n1 != 4 || negative) return false;
        d->year = first;
        d->month = read_digit_group(p, e, 2, true, nullptr);
        d->day = read_digit_group(p, e, 2, true, nullptr);
        if (d->month < 0 || d->day < 0 || !parse_compact_time(p, e, d)) return false;
    } else if (*p == '-' && p + 1 < e && (p[1] == 'W' || p[1] == 'w') && n1 == 4) {
        p += 2;
        d->year = first;
        d->week = read_digit_group(p, e, 2, true, nullptr);
        if (d->week < 1 || d->week > 53) return false;
        d->weekday = 1;
        if (p < e && *p == '-') {
            p++;
            d->weekday = read_digit_group(p, e, 1, true, nullptr);
            if (d->weekday < 1 || d->weekday > 7) return false;
        }
        if (p < e && (*p != 'T' || !parse_day_time(p + 1, e, d))) return false;
    } else if (*p == '-' && e - p >= 4 && digit_q(p[1]) && digit_q(p[2]) && digit_q(p[3]) &&
               (e - p == 4 || !digit_q(p[4]))) {
        p++;
        d->year = first;
        d->yearday = read_digit_group(p, e, 3, true, nullptr);
        bool leap = (first % 4 == 0 && first % 100 != 0) || first % 400 == 0;
        if (d->yearday < 1 || d->yearday > (leap ? 366 : 365)) return false;
        if (p < e && ((*p != 'T' && *p != '/') || !parse_day_time(p + 1, e, d))) return false;
    } else if (*p == '/' || *p == '-') {
        uint8_t separator = *p++;
        int32_t month = read_month(p, e);
        if (month < 0 || p >= e || *p != separator) return false;
        p++;
        bool last_negative = p < e && *p == '-';
        if (last_negative) p++;
        int n3;
        int32_t last = read_digit_group(p, e, 4, false, &n3);
        if (last < 0) return false;
        if (p < e && digit_q(*p)) return false;  // more than four digits
        if (last_negative) last = -last;
        // Day first ("1-Jan-2000", "1/1/2000"); the year comes first when
        // the first group cannot be a day.
        bool year_first = negative || first > 31 || n1 > 2;
        int32_t year = year_first ? first : last;
        int year_digits = year_first ? n1 : n3;
        d->day = year_first ? last : first;
        d->month = month;
        if (year >= 0 && year_digits <= 2 && !(year_first ? negative : last_negative))
            year += year > 49 ? 1900 : 2000;
        d->year = year;
        if (p < e && ((*p != '/' && *p != 'T') || !parse_day_time(p + 1, e, d))) return false;
    } else {
        return false;
    }
    if (d->year < -9999 || d->year > 9999 || !time_fields_ok(*d)) return false;
    if (d->week || d->yearday) return true;
    return days_ok(d->year, d->month, d->day);
}

bool parse_money(const uint8_t* s, const uint8_t* e, MoneyParts* m) {
    const uint8_t* p = s;
    if (p < e && (*p == '+' || *p == '-')) m->negative = *p++ == '-';
    if (e - p >= 4 && p[3] == '$') {
        for (int i = 0; i < 3; i++)
            if (((p[i] | 0x20) < 'a') || ((p[i] | 0x20) > 'z')) return false;
        m->code = p;
        p += 3;
    }
    if (p >= e || *p != '$') return false;
    p++;
    m->digits = p;
    while (p < e && (digit_q(*p) || (*p == '\'' && p > m->digits && p + 1 < e && digit_q(p[1]))))
        p++;
    m->digit_count = uint32_t(p - m->digits);
    if (m->digit_count == 0) return false;
    if (p < e && (*p == '.' || *p == ',')) {
        m->fraction = ++p;
        while (p < e && digit_q(*p)) p++;
        m->fraction_count = uint32_t(p - m->fraction);
    }
    return p == e;
}

// ---------------------------------------------------------------------------
// Loaders

void load_integer(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags, bool load) {
    int32_t value;
    bool overflow;
    if (e - s == 1) {
        value = *s - '0';
    } else if (!parse_integer(s, e, &value, &overflow)) {
        if (!overflow) return error(st, s, e, TYPE_INTEGER);
        st.type = TYPE_FLOAT;
        return load_float_text(st, s, e, flags, load);
    }
    st.type = TYPE_INTEGER;
    if (load) {
        Cell* cell = grow_token_buffer(st);
        integer::init_cell(cell, value);
    }
}

void load_hex_or_word(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    uint32_t digits = uint32_t(e - s) - 1;  // before the "h"
    if (digits == 1 && !digit_q(*s)) return error(st, s, e, TYPE_WORD);
    if (digits < 2 || digits > 8) return error(st, s, e, TYPE_INTEGER);
    uint32_t value = 0;
    for (const uint8_t* p = s; p < e - 1; p++) {
        uint8_t c = *p;
        uint32_t v = digit_q(c) ? uint32_t(c - '0') : (c >= 'A' && c <= 'F') ? uint32_t(c - 'A' + 10) : 99;
        if (v > 15) return error(st, s, e, TYPE_INTEGER);
        value = value << 4 | v;
    }
    st.type = TYPE_INTEGER;
    if (load) integer::init_cell(grow_token_buffer(st), int32_t(value));
}

void load_float_text(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    double value;
    if (!float_syntax_q(s, e)) return error(st, s, e, TYPE_FLOAT);
    st.type = TYPE_FLOAT;
    if (!load) return;
    if (!convert_float(s, e, 0, &value)) return error(st, s, e, TYPE_FLOAT);
    make_float(grow_token_buffer(st), TYPE_FLOAT, value);
}

void load_percent(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.position = e < st.input_end ? e + 1 : e;
    double value;
    if (!float_syntax_q(s, e)) return error(st, s, st.position, TYPE_PERCENT);
    st.type = TYPE_PERCENT;
    if (!load) return;
    if (!convert_float(s, e, -2, &value)) return error(st, s, st.position, TYPE_FLOAT);
    make_float(grow_token_buffer(st), TYPE_PERCENT, value);
}

void load_float_special(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    double value;
    if (!float_special(s, e, &value)) return error(st, s, e, TYPE_FLOAT);
    st.type = TYPE_FLOAT;
    if (load) make_float(grow_token_buffer(st), TYPE_FLOAT, value);
}

void load_tuple(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    uint8_t bytes[12];
    int32_t count = scan_tuple(s, int32_t(e - s), 1, bytes);
    if (count < 3) return error(st, s, e, TYPE_TUPLE);
    st.type = TYPE_TUPLE;
    if (load) make_tuple(grow_token_buffer(st), bytes, count);
}

void load_pair(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags, bool load) {
    const uint8_t* x = s;
    while (x < e && *x != 'x' && *x != 'X') x++;
    int32_t a, b;
    bool overflow;
    if ((flags & F_DOT) || x == e || !parse_integer(s, x, &a, &overflow) ||
        !parse_integer(x + 1, e, &b, &overflow))
        return error(st, s, e, TYPE_PAIR);
    st.type = TYPE_PAIR;
    if (load) make_pair(grow_token_buffer(st), a, b);
}

void load_point(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.position = e < st.input_end ? e + 1 : e;
    double xyz[3];
    int count = 0;
    const uint8_t* p = s;
    bool ok = e < st.input_end;
    while (ok) {
        while (p < e && (*p == ' ' || *p == '\t')) p++;
        const uint8_t* start = p;
        while (p < e && *p != ',' && *p != ' ' && *p != '\t') p++;
        const uint8_t* stop = p;
        while (p < e && (*p == ' ' || *p == '\t')) p++;
        if (count == 3 || start == stop) {
            ok = false;
            break;
        }
        if (std::find(start, stop, '#') != stop)
            ok = float_special(start, stop, &xyz[count]);
        else
            ok = float_syntax_q(start, stop) && (!load || convert_float(start, stop, 0, &xyz[count]));
        if (!ok) break;
        count++;
        if (p >= e) break;
        if (*p != ',') {
            ok = false;
            break;
        }
        p++;
    }
    if (!ok || count < 2) return error(st, s - 1, st.position, TYPE_POINT2D);
    st.type = count == 2 ? TYPE_POINT2D : TYPE_POINT3D;
    if (load) make_point(grow_token_buffer(st), xyz, count);
}

void load_time(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags, bool load) {
    double seconds;
    if ((flags & F_EXPONENT) || !parse_time(s, e, &seconds)) return error(st, s, e, TYPE_TIME);
    st.type = TYPE_TIME;
    if (load) make_float(grow_token_buffer(st), TYPE_TIME, seconds);
}

void scan_date(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    DateFields date;
    if (!parse_date(s, e, &date)) return error(st, s, e, TYPE_DATE);
    st.type = TYPE_DATE;
    if (load) make_date(grow_token_buffer(st), date);
}

void load_money(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    MoneyParts money;
    if (!parse_money(s, e, &money)) return error(st, s, e, TYPE_MONEY);
    // An unknown currency is bad text like any other.
    if (money.code && money::currency_index_of_text(money.code) < 0)
        return error(st, s, e, TYPE_MONEY);
    st.type = TYPE_MONEY;
    if (load) make_money(grow_token_buffer(st), money);
}

// ---------------------------------------------------------------------------
// Scanners for the datatypes

ScanStatus scan_integer(const uint8_t* text, int32_t length, uint32_t unit, int32_t* value) {
    IntResult r = parse_int_chars(Units{text, length, unit}, length, value, nullptr);
    return r == INT_OK ? SCAN_OK : r == INT_OVERFLOW ? SCAN_OVERFLOW : SCAN_BAD;
}

ScanStatus scan_float(const uint8_t* text, int32_t length, uint32_t unit, double* value) {
    *value = std::numeric_limits<double>::quiet_NaN();
    if (length < 0 || length > int32_t(MAX_FLOAT_TEXT)) return SCAN_BAD;
    uint8_t buffer[MAX_FLOAT_TEXT];
    Units u{text, length, unit};
    for (int32_t i = 0; i < length; i++) {
        uint32_t c = u[i];
        if (c > 0x7F) return SCAN_BAD;
        buffer[i] = c == ',' ? '.' : uint8_t(c);
    }
    if (!float_syntax_q(buffer, buffer + length)) return SCAN_BAD;
    double result;
    if (!convert_float(buffer, buffer + length, 0, &result)) return SCAN_BAD;
    *value = result;
    return SCAN_OK;
}

ScanStatus scan_money(const uint8_t* text, int32_t length, uint32_t unit, Cell* value) {
    if (length <= 0 || length > int32_t(MAX_FLOAT_TEXT)) return SCAN_BAD;
    uint8_t buffer[MAX_FLOAT_TEXT];
    Units u{text, length, unit};
    for (int32_t i = 0; i < length; i++) {
        uint32_t c = u[i];
        if (c > 0x7F) return SCAN_BAD;
        buffer[i] = uint8_t(c);
    }
    MoneyParts m;
    if (!parse_money(buffer, buffer + length, &m)) return SCAN_BAD;
    return money::init_from_digits(value, m.negative, m.code, m.digits, m.digit_count, m.fraction,
                                   m.fraction_count)
               ? SCAN_OK
               : SCAN_BAD;
}

int32_t scan_tuple(const uint8_t* text, int32_t length, uint32_t unit, uint8_t bytes[12]) {
    Units u{text, length, unit};
    int32_t count = 0;
    int32_t i = 0;
    while (i < length) {
        uint32_t value = 0;
        int32_t start = i;
        while (i < length && u[i] >= '0' && u[i] <= '9' && i - start < 4)
            value = value * 10 + (u[i++] - '0');
        if (i == start || value > 255 || count == 12) return 0;
        bytes[count++] = uint8_t(value);
        if (i == length) break;
        if (u[i] != '.' || i + 1 == length) return 0;
        i++;
    }
    return count;
}

// ---------------------------------------------------------------------------
// Makers of datatypes that arrive later

void make_float(Cell* cell, uint32_t type, double value) {
    if (type == TYPE_TIME) {
        time_::init_cell(cell, value);
        return;
    }
    float_::init_cell(cell, value);
    if (type == TYPE_PERCENT) cell->set_type(TYPE_PERCENT);
}
void make_pair(Cell* cell, int32_t x, int32_t y) { pair::init_cell(cell, x, y); }
void make_point(Cell* cell, const double* xyz, int count) {
    if (count == 2) point2D::init_cell(cell, float(xyz[0]), float(xyz[1]));
    else point3D::init_cell(cell, float(xyz[0]), float(xyz[1]), float(xyz[2]));
}
void make_tuple(Cell* cell, const uint8_t* bytes, int count) { tuple::init_cell(cell, bytes, count); }
void make_date(Cell* cell, const DateFields& d) {
    int32_t year = d.year, month = d.month, day = d.day;
    if (d.week || d.yearday) {
        // Week and ordinal dates go through the day number.
        int64_t n = d.week ? int64_t(date::week_1_start(d.year)) + (d.week - 1) * 7 + d.weekday - 1
                           : date::day_number_of(d.year, 1, 1) + d.yearday - 1;
        uint32_t packed = date::from_day_number(n, 0, false);
        year = date::year_of(packed);
        month = date::month_of(packed);
        day = date::day_of(packed);
    }
    date::init_cell(cell, year, month, day, d.seconds, d.zone_minutes, d.has_time);
}
// An unknown currency cannot reach the lexer's own error from here: it is
// raised as script bad-denom naming the code.
void make_money(Cell* cell, const MoneyParts& m) {
    if (money::init_from_digits(cell, m.negative, m.code, m.digits, m.digit_count, m.fraction,
                                m.fraction_count))
        return;
    money::fire_bad_denom(m.code);
}
void make_map(Cell* cell, const Cell* block) { map::make_at(cell, block, 0); }

}  // namespace zun::lexer
