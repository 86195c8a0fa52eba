#include "datatypes/date.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/rng.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/time.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer_tables.hpp"
#include "interpreter/stack.hpp"
#include "startup/system_data.hpp"

namespace zun::date {

namespace {

constexpr double DAY = 86400.0;

enum Field : int {
    F_DATE = 1, F_YEAR, F_MONTH, F_DAY, F_ZONE, F_TIME, F_HOUR, F_MINUTE, F_SECOND,
    F_WEEKDAY, F_YEARDAY, F_TIMEZONE, F_WEEK, F_ISOWEEK
};

inline int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
inline int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

// Day number of 1 March of year y (the start of its March-based year).
inline int64_t march_1(int64_t y) {
    return y * 365 + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
}

using support::datatype_cell;

[[noreturn]] void fire_type_limit() {
    Cell datatype = datatype_cell(TYPE_DATE);
    support::fire_error(ErrorId::script_type_limit, &datatype);
}

[[noreturn]] void fire_bad_to_arg(const Cell* value) {
    Cell datatype = datatype_cell(TYPE_DATE);
    Cell v = *value;
    support::fire_error(ErrorId::script_bad_to_arg, &datatype, &v);
}

[[noreturn]] void fire_invalid_arg(const Cell* value) {
    Cell v = *value;
    support::fire_error(ErrorId::script_invalid_arg, &v);
}

bool named(const Cell* word, sym::Name name) {
    return symbol::canonical(word->data2) == symbol::canonical(sym::id(name));
}

// The parts of a date cell, worked on and packed back.
struct Parts {
    int64_t day_number;
    double time;  // stored (UTC) form
    uint32_t zone;
    bool has_time;
};

Parts parts_of(const Cell* date) {
    return Parts{day_number(date->data1), date->as_double(), date->data1 & ZONE_MASK,
                 has_time_q(date->data1)};
}

// Normalises and stores the parts back into the cell.
void store(Cell* date, Parts p) {
    if (!p.has_time) {
        p.time = 0;
        p.zone = 0;
    }
    p.day_number = normalize_zone(p.day_number, &p.time, p.zone);
    uint32_t packed = from_day_number(p.day_number, p.zone, p.has_time);
    date->set_type(TYPE_DATE);
    date->data1 = packed;
    date->set_double(p.time);
}

double local_time(const Parts& p) { return p.has_time ? p.time + zone_seconds(p.zone) : 0.0; }

int32_t int_value(const Cell* value) {
    if (!value->is(TYPE_INTEGER)) fire_invalid_arg(value);
    return value->as_int();
}

// A zone from an integer! of hours or a time!, modulo 16 hours.
uint32_t zone_from(const Cell* value) {
    if (value->is(TYPE_INTEGER)) return pack_zone(value->as_int() % 16 * 60);
    if (value->is(TYPE_TIME)) {
        double t = std::fmod(value->as_double(), 16 * 3600.0);
        if (!std::isfinite(t)) fire_invalid_arg(value);
        return pack_zone(int32_t(std::trunc(t / 60.0)));
    }
    fire_invalid_arg(value);
}

// Day number of the first of the month, the month carrying into the years.
int64_t month_start(int64_t year, int64_t month) {
    year += floor_div(month - 1, 12);
    int32_t m = int32_t(floor_mod(month - 1, 12)) + 1;
    if (year < MIN_YEAR - 1 || year > MAX_YEAR + 1) fire_type_limit();
    return day_number_of(year, m, 1);
}

// ---------------------------------------------------------------- text

// The first three characters of the month's name, as UTF-8.
int month_abbreviation(int32_t month, char* out) {
    if (!system_data::ready()) {
        std::memcpy(out, lexer::tables::k_month_names[month - 1], 3);
        return 3;
    }
    const Cell months = *system_data::locale_months();
    if (!block::any_block_q(months.type()) || block::length_from_head(&months) < month)
        support::fire_error(ErrorId::script_invalid_months);
    Cell name = *block::cell_at(&months, block::head_index(&months) + month - 1);
    if (!name.is(TYPE_STRING)) support::fire_error(ErrorId::script_invalid_months);
    int32_t length = string::length_from_head(&name);
    const uint8_t* p = string::head_pointer(&name);
    uint32_t unit = string::buffer_of(&name)->unit();
    int n = 0;
    for (int32_t i = 0; i < length && i < 3; i++) {
        uint32_t c = string::get_char(p + size_t(i) * unit, unit);
        if (c < 0x80) {
            out[n++] = char(c);
        } else if (c < 0x800) {
            out[n++] = char(0xC0 | c >> 6);
            out[n++] = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out[n++] = char(0xE0 | c >> 12);
            out[n++] = char(0x80 | (c >> 6 & 0x3F));
            out[n++] = char(0x80 | (c & 0x3F));
        } else {
            out[n++] = char(0xF0 | c >> 18);
            out[n++] = char(0x80 | (c >> 12 & 0x3F));
            out[n++] = char(0x80 | (c >> 6 & 0x3F));
            out[n++] = char(0x80 | (c & 0x3F));
        }
    }
    return n;
}

// ---------------------------------------------------------------- block rule

struct BlockDate {
    int64_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    double float_second = 0;
    double time_of_day = 0;
    bool clock = false;  // hour, minute and second given as numbers
    int32_t zone_minutes = 0;
    int count = 0;
};

// The states of the reader: what an integer, a time and a float lead to
// (-1: refused; 99: no more values).
constexpr int8_t NEXT[14][3] = {
    {1, -1, -1}, {2, -1, -1}, {3, -1, -1}, {8, 4, -1}, {6, 5, -1}, {99, 99, 99}, {7, -1, -1},
    {99, 99, 99}, {9, -1, -1}, {10, -1, 10}, {12, 11, -1}, {99, 99, 99}, {13, -1, -1},
    {99, 99, 99},
};

BlockDate read_block(const Cell* spec) {
    BlockDate b;
    int32_t n = block::length_from_head(spec);
    if (n < 3) fire_bad_to_arg(spec);
    int state = 0;
    int32_t zone_hours = 0, zone_minutes = 0;
    for (int32_t i = 0; i < n; i++) {
        const Cell v = *block::cell_at(spec, block::head_index(spec) + i);
        int cls = v.is(TYPE_INTEGER) ? 0 : v.is(TYPE_TIME) ? 1 : v.is(TYPE_FLOAT) ? 2 : -1;
        if (cls < 0) fire_bad_to_arg(spec);
        int next = NEXT[state][cls];
        if (next < 0 || next == 99) fire_bad_to_arg(spec);
        int64_t iv = cls == 0 ? v.as_int() : 0;
        switch (state) {
            case 0: b.day = iv; break;
            case 1: b.month = iv; break;
            case 2: b.year = iv; break;
            case 3:
                if (cls == 0) {
                    b.hour = iv;
                    b.clock = true;
                } else {
                    b.time_of_day = v.as_double();
                }
                break;
            case 4: case 10:
                if (cls == 0) {
                    zone_hours = int32_t(iv);
                } else {
                    double t = v.as_double();
                    if (!std::isfinite(t)) fire_bad_to_arg(spec);
                    zone_hours = time_::hours(t);
                    zone_minutes = t < 0 ? -time_::minutes(t) : time_::minutes(t);
                }
                break;
            case 6: case 12:
                zone_minutes = zone_hours < 0 ? -int32_t(iv) : int32_t(iv);
                break;
            case 8: b.minute = iv; break;
            case 9:
                if (cls == 0) b.second = iv;
                else b.float_second = v.as_double();
                break;
        }
        state = next;
    }
    b.count = n;
    // Hours beyond what the zone bits hold wrap, as writes of the zone field do.
    b.zone_minutes = (zone_hours % 16) * 60 + zone_minutes % 60;
    return b;
}

Cell* from_block(Cell* spec, bool strict) {
    BlockDate b = read_block(spec);
    if (b.day > 99 && b.year < b.day) std::swap(b.day, b.year);
    double time = b.clock ? double(b.hour) * 3600.0 + double(b.minute) * 60.0 +
                                (b.float_second != 0.0 ? b.float_second : double(b.second))
                          : b.time_of_day;
    if (!std::isfinite(time)) fire_bad_to_arg(spec);
    bool has_time = b.count > 3;
    uint32_t zone = has_time ? pack_zone(b.zone_minutes) : 0;
    if (b.year < MIN_YEAR || b.year > MAX_YEAR || b.month < -12000 || b.month > 12000)
        fire_bad_to_arg(spec);
    int64_t dn = month_start(b.year, b.month) - 1 + b.day;
    double stored = time - (has_time ? zone_seconds(zone) : 0);
    dn = normalize_zone(dn, &stored, zone);
    uint32_t packed = from_day_number(dn, zone, has_time);
    if (strict) {
        bool same_date = year_of(packed) == b.year && month_of(packed) == b.month &&
                         day_of(packed) == b.day;
        bool time_ok = time == 0 || (time > 0 && time < DAY && (!b.clock || (b.minute < 60 && b.second < 60 && b.float_second < 60)));
        if (!same_date || !time_ok) fire_bad_to_arg(spec);
    }
    return push(packed, stored);
}

// Seconds since 1970-01-01T00:00:00Z.
Cell* from_seconds(int32_t seconds) {
    int64_t days = floor_div(seconds, 86400);
    double time = double(floor_mod(seconds, 86400));
    return push(from_day_number(UNIX_EPOCH_DAY + days, 0, true), time);
}

// ---------------------------------------------------------------- actions

Cell* make(Cell*, Cell* spec, int) {
    switch (spec->type()) {
        case TYPE_DATE: return stack::push(spec);
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: return from_block(spec, true);
        default: fire_bad_to_arg(spec);
    }
}

Cell* to(Cell*, Cell* spec, int) {
    switch (spec->type()) {
        case TYPE_DATE: return stack::push(spec);
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: return from_block(spec, false);
        case TYPE_INTEGER: return from_seconds(spec->as_int());
        default: fire_bad_to_arg(spec);
    }
}

int form(Cell* value, Cell* buffer, Cell*, int part) { return form_text(value, buffer, part); }

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int part, int) {
    return form_text(value, buffer, part);
}

int path_field(const Cell* element, Cell* path) {
    int n = -1;
    if (element->is(TYPE_INTEGER)) n = element->as_int();
    else if (word::any_word_type_q(element->type())) n = field_index(element);
    if (n < 1 || n > F_ISOWEEK)
        support::fire_error(ErrorId::script_invalid_path, path ? path : &shared_none_cell, element);
    return n;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* container,
                Cell* previous, int index, bool case_, bool, bool, bool notify) {
    int n = path_field(element, path);
    if (!value) return get_field(parent, n);
    set_field(parent, n, value);
    time_::store_back(parent, path, container, previous, index, case_, notify);
    return value;
}

Cell* pick(Cell* series, int index, Cell* index_cell) {
    int n = index;
    if (index_cell && word::any_word_type_q(index_cell->type())) n = field_index(index_cell);
    if (n < 1 || n > F_ISOWEEK) {
        Cell i = index_cell ? *index_cell : integer_cell(index);
        support::fire_error(ErrorId::script_out_of_range, &i);
    }
    return get_field(series, n);
}

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_DATE)) return COMPARE_UNCOMPARABLE;
    uint32_t p1 = value1->data1, p2 = value2->data1;
    double t1 = value1->as_double(), t2 = value2->as_double();
    int64_t d1 = day_number(p1), d2 = day_number(p2);
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_FIND:
            return d1 == d2 && float_::almost_equal_q(t1, t2) ? 0 : 1;
        case COMP_STRICT_EQUAL: return d1 == d2 && t1 == t2 ? 0 : 1;
        case COMP_SAME:
            return d1 == d2 && std::memcmp(&t1, &t2, sizeof t1) == 0 ? 0 : 1;
        default: break;
    }
    // Ordered by the instant, so that zones east of UTC near midnight sort
    // right; the same instant written on two calendar dates orders by date.
    double i1 = double(d1) * DAY + t1, i2 = double(d2) * DAY + t2;
    if (i1 != i2) return i1 < i2 ? -1 : 1;
    if (d1 != d2) return d1 < d2 ? -1 : 1;
    return (t1 > t2) - (t1 < t2);
}

void arithmetic(bool subtract) {
    Cell* date = stack::argument(0);
    const Cell* other = date + 1;
    Parts p = parts_of(date);
    switch (other->type()) {
        case TYPE_INTEGER: {
            int64_t n = other->as_int();
            p.day_number += subtract ? -n : n;
            break;
        }
        case TYPE_TIME: {
            double s = other->as_double();
            if (!std::isfinite(s)) fire_type_limit();
            p.has_time = true;
            p.time += subtract ? -s : s;
            break;
        }
        case TYPE_DATE: {
            if (!subtract) {
                Cell datatype = datatype_cell(TYPE_DATE);
                support::fire_error(ErrorId::script_not_related, word::make_global("add"),
                                    &datatype);
            }
            double time = p.time - other->as_double();
            int64_t days = normalize_zone(p.day_number - day_number(other->data1), &time, p.zone);
            if (days < INT32_MIN || days > INT32_MAX) fire_type_limit();
            integer::init_cell(date, int32_t(days));
            return;
        }
        default: {
            Cell datatype = datatype_cell(other->type());
            support::fire_error(ErrorId::script_invalid_type, &datatype);
        }
    }
    store(date, p);
}

void add() { arithmetic(false); }
void subtract() { arithmetic(true); }

int32_t draw(bool secure) { return secure ? rng::secure_int31() : rng::next(); }

void random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        double t = std::trunc(value->as_double());
        int32_t whole = t > -2147483649.0 && t < 2147483648.0 ? int32_t(t) : 0;
        rng::seed(int32_t(value->data1 + uint32_t(whole)));
        value->set_type(TYPE_UNSET);
        return;
    }
    Parts p = parts_of(value);
    int64_t dn = p.day_number;
    int32_t limit = int32_t(dn);
    int64_t r = dn > 0 ? rng::integer(secure, limit) - 1 : dn < 0 ? rng::integer(secure, limit) + 1 : 0;
    p.day_number = r;
    if (p.has_time) {
        p.zone = uint32_t(draw(secure)) & ZONE_MASK;
        double fraction = std::floor(double(draw(secure)) / 2147483648.0 * 3600.0) / 3600.0;
        p.time = fraction * DAY - zone_seconds(p.zone);
    }
    store(value, p);
}

}  // namespace

// ---------------------------------------------------------------------------
// Calendar arithmetic

bool leap_year_q(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t days_in_month(int32_t year, int32_t month) {
    static constexpr int8_t DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap_year_q(year) ? 29 : DAYS[month - 1];
}

int64_t day_number_of(int64_t year, int32_t month, int32_t day) {
    int64_t m = (month + 9) % 12;
    int64_t y = year - m / 10;
    return march_1(y) + (m * 306 + 5) / 10 + (day - 1);
}

int32_t day_number(uint32_t packed) {
    return int32_t(day_number_of(year_of(packed), month_of(packed), day_of(packed)));
}

uint32_t from_day_number(int64_t n, uint32_t zone, bool has_time) {
    if (n < march_1(MIN_YEAR) - 1000 || n > march_1(MAX_YEAR + 1) + 1000) fire_type_limit();
    int64_t y = int64_t(std::floor((10000.0 * double(n) + 14780.0) / 3652425.0));
    while (n < march_1(y)) y--;
    while (n >= march_1(y + 1)) y++;
    int64_t r = n - march_1(y);
    int64_t mi = (100 * r + 52) / 3060;
    int64_t month = (mi + 2) % 12 + 1;
    int64_t year = y + (mi + 2) / 12;
    int64_t day = r - (mi * 306 + 5) / 10 + 1;
    if (year < MIN_YEAR || year > MAX_YEAR) fire_type_limit();
    return uint32_t(year) << 17 | uint32_t(month) << 12 | uint32_t(day) << 7 | (zone & ZONE_MASK) |
           (has_time ? TIME_FLAG : 0);
}

int32_t jan_1(uint32_t packed) { return int32_t(day_number_of(year_of(packed), 1, 1)); }

int32_t weekday(int32_t day_number) { return int32_t(floor_mod(int64_t(day_number) + 2, 7)) + 1; }

int32_t week_1_start(int32_t year) {
    int32_t j = int32_t(day_number_of(year, 1, 1));
    int32_t wd = weekday(j);
    return wd <= 4 ? j - (wd - 1) : j + (8 - wd);
}

int32_t year_day(uint32_t packed) { return day_number(packed) - jan_1(packed) + 1; }

int32_t iso_week(uint32_t packed) {
    int32_t dn = day_number(packed);
    int32_t year = year_of(packed);
    int32_t start = week_1_start(year);
    if (dn < start) start = week_1_start(year - 1);
    else if (dn >= week_1_start(year + 1)) return 1;
    return (dn - start) / 7 + 1;
}

uint32_t pack_zone(int32_t offset_minutes) {
    uint32_t magnitude = uint32_t(offset_minutes < 0 ? -int64_t(offset_minutes) : offset_minutes);
    uint32_t hours = magnitude / 60 % 16;
    uint32_t quarters = magnitude % 60 / 15;
    if (hours == 0 && quarters == 0) return 0;
    return (offset_minutes < 0 ? 0x40u : 0u) | hours << 2 | quarters;
}

int32_t zone_seconds(uint32_t packed) {
    int32_t s = int32_t(packed >> 2 & 0xF) * 3600 + int32_t(packed & 3) * 900;
    return (packed & 0x40) ? -s : s;
}

int64_t normalize_zone(int64_t day_number, double* time, uint32_t zone) {
    double offset = zone_seconds(zone);
    double t = *time;
    double k = std::floor((t + offset) / DAY);
    // Far beyond any year the packed word holds (and NaN): no day to land on.
    if (!(std::fabs(k) < 1e8)) fire_type_limit();
    t -= k * DAY;
    day_number += int64_t(k);
    if (t + offset < 0) {
        t += DAY;
        day_number--;
    } else if (t + offset >= DAY) {
        t -= DAY;
        day_number++;
    }
    *time = t;
    return day_number;
}

// ---------------------------------------------------------------------------
// Makers

Cell* init_cell(Cell* cell, int32_t year, int32_t month, int32_t day, double time,
                int32_t zone_minutes, bool has_time) {
    Parts p{month_start(year, month) - 1 + day, has_time ? time : 0.0,
            has_time ? pack_zone(zone_minutes) : 0, has_time};
    p.time -= zone_seconds(p.zone);
    store(cell, p);
    return cell;
}

Cell* init_with_time(Cell* cell, int32_t year, int32_t month, int32_t day, int32_t h, int32_t m,
                     int32_t s, int32_t ns) {
    double time = double(h) * 3600.0 + double(m) * 60.0 + double(s) + double(ns) * 1e-9;
    return init_cell(cell, year, month, day, time, 0, true);
}

Cell* push(uint32_t packed, double time) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_DATE, packed);
    cell->set_double(time);
    return cell;
}

Cell* append_to_block(const Cell* block, uint32_t packed, double time) {
    Cell* cell = support::append_cell(block);
    *cell = make_cell(TYPE_DATE, packed);
    cell->set_double(time);
    return cell;
}

void difference(Cell* date1, const Cell* date2) {
    double days = double(day_number(date1->data1)) - double(day_number(date2->data1));
    time_::init_cell(date1, days * DAY + (date1->as_double() - date2->as_double()));
}

// ---------------------------------------------------------------------------
// Fields

int field_index(const Cell* word) {
    static constexpr std::pair<sym::Name, int> FIELDS[] = {
        {sym::date, F_DATE},       {sym::year, F_YEAR},         {sym::month, F_MONTH},
        {sym::day, F_DAY},         {sym::zone, F_ZONE},         {sym::time_, F_TIME},
        {sym::hour, F_HOUR},       {sym::minute, F_MINUTE},     {sym::second, F_SECOND},
        {sym::weekday, F_WEEKDAY}, {sym::yearday, F_YEARDAY},   {sym::julian, F_YEARDAY},
        {sym::timezone, F_TIMEZONE}, {sym::week, F_WEEK},       {sym::isoweek, F_ISOWEEK},
    };
    for (const auto& [name, n] : FIELDS)
        if (named(word, name)) return n;
    return -1;
}

Cell* get_field(const Cell* date, int n) {
    uint32_t packed = date->data1;
    Parts p = parts_of(date);
    double local = local_time(p);
    switch (n) {
        case F_DATE: return push(packed & ~(TIME_FLAG | ZONE_MASK), 0.0);
        case F_YEAR: return integer::push(year_of(packed));
        case F_MONTH: return integer::push(month_of(packed));
        case F_DAY: return integer::push(day_of(packed));
        case F_ZONE: case F_TIMEZONE:
            if (!p.has_time) return stack::push(&shared_none_cell);
            return time_::push(zone_seconds(p.zone));
        case F_TIME:
            if (!p.has_time) return stack::push(&shared_none_cell);
            return time_::push(local);
        case F_HOUR: return integer::push(time_::hours(local));
        case F_MINUTE: return integer::push(time_::minutes(local));
        case F_SECOND: return float_::push(std::fmod(local, 60.0));
        case F_WEEKDAY: return integer::push(weekday(int32_t(p.day_number)));
        case F_YEARDAY: return integer::push(year_day(packed));
        case F_WEEK: {
            int32_t e = int32_t(floor_mod(jan_1(packed) + 3, 7));
            int32_t yd = year_day(packed);
            return integer::push(yd <= 7 - e ? 1 : (yd + e - 1) / 7 + 1);
        }
        default: return integer::push(iso_week(packed));
    }
}

void set_field(Cell* date, int n, const Cell* value) {
    uint32_t packed = date->data1;
    Parts p = parts_of(date);
    int32_t year = year_of(packed);
    switch (n) {
        case F_DATE: {
            if (!value->is(TYPE_DATE)) fire_invalid_arg(value);
            p.day_number = day_number(value->data1);
            // A date without time takes the time and zone away with its flag.
            p.has_time = has_time_q(value->data1);
            break;
        }
        case F_YEAR:
            p.day_number = month_start(int_value(value), month_of(packed)) - 1 + day_of(packed);
            break;
        case F_MONTH:
            p.day_number = month_start(year, int64_t(int_value(value))) - 1 + day_of(packed);
            break;
        case F_DAY: p.day_number = month_start(year, month_of(packed)) - 1 + int_value(value); break;
        case F_ZONE: {
            uint32_t zone = zone_from(value);
            double local = local_time(p);
            p.has_time = true;
            p.zone = zone;
            p.time = local - zone_seconds(zone);
            break;
        }
        case F_TIMEZONE:
            p.zone = zone_from(value);
            if (!p.has_time) p.time = 0;
            p.has_time = true;
            break;
        case F_TIME:
            if (value->is(TYPE_NONE)) {
                p.has_time = false;
                break;
            }
            if (!value->is(TYPE_TIME)) fire_invalid_arg(value);
            p.zone = p.has_time ? p.zone : 0;
            p.has_time = true;
            p.time = value->as_double() - zone_seconds(p.zone);
            break;
        case F_HOUR: case F_MINUTE: case F_SECOND: {
            // Worked on the local clock, so quarter-hour zones keep their minutes.
            if (!value->is(TYPE_INTEGER) && !(n == F_SECOND && value->is(TYPE_FLOAT)))
                fire_invalid_arg(value);
            double local = local_time(p);
            double v = value->is(TYPE_INTEGER) ? double(value->as_int()) : value->as_double();
            if (n == F_HOUR) local -= (std::floor(local / 3600.0) - v) * 3600.0;
            else if (n == F_MINUTE) local -= (std::floor(std::fmod(local, 3600.0) / 60.0) - v) * 60.0;
            else local -= std::fmod(local, 60.0) - v;
            if (!std::isfinite(local)) fire_invalid_arg(value);
            p.zone = p.has_time ? p.zone : 0;
            p.has_time = true;
            p.time = local - zone_seconds(p.zone);
            break;
        }
        case F_WEEKDAY: {
            int64_t dn = p.day_number;
            p.day_number = dn + (int64_t(int_value(value)) - 1) - floor_mod(dn + 2, 7);
            break;
        }
        case F_YEARDAY: p.day_number = int64_t(jan_1(packed)) + int_value(value) - 1; break;
        case F_WEEK: {
            int64_t j = jan_1(packed);
            int64_t w = int_value(value);
            int64_t e = floor_mod(j + 3, 7);
            p.day_number = w <= 1 ? j : j + (w - 2) * 7 + 7 - e;
            break;
        }
        default:
            p.day_number = int64_t(week_1_start(year)) + (int64_t(int_value(value)) - 1) * 7;
            break;
    }
    store(date, p);
}

int form_text(const Cell* date, Cell* buffer, int part) {
    uint32_t packed = date->data1;
    int32_t year = year_of(packed);
    char text[480];
    char* p = text;
    p += std::snprintf(p, 16, "%d", int(day_of(packed)));
    char separator = year < 0 ? '/' : '-';
    *p++ = separator;
    int32_t month = month_of(packed);
    if (month < 1 || month > 12) support::fire_error(ErrorId::script_invalid_months);
    p += month_abbreviation(month, p);
    *p++ = separator;
    int32_t magnitude = year < 0 ? -year : year;
    p += std::snprintf(p, 16, magnitude < 100 ? "%s%04d" : "%s%d", year < 0 ? "-" : "",
                       int(magnitude));
    if (has_time_q(packed)) {
        *p++ = '/';
        p += time_::format(date->as_double() + zone_seconds(packed), p);
        uint32_t zone = packed & ZONE_MASK;
        if (zone) {
            int32_t minutes = int32_t(zone & 3) * 15;
            p += std::snprintf(p, 16, "%c%02d:%02d", (zone & 0x40) ? '-' : '+',
                               int(zone >> 2 & 0xF), int(minutes));
        }
    }
    *p = 0;
    string::append_utf8(buffer, text, uint32_t(p - text));
    return part - int(p - text);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), own<A_RANDOM>(random), E, own<A_TO>(to), own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), own<A_EVAL_PATH>(eval_path), E, own<A_COMPARE>(compare), E,
        /* 11 */ own<A_ADD>(add), E, E, E,
        /* 15 */ E, E, E, own<A_SUBTRACT>(subtract), E, E, E, E,
        /* 23 */ E, E, E, E, E, E, E, E,
        /* 31 */ E, E, E, E, E, E, E, E,
        /* 39 */ own<A_PICK>(pick), E, E, E, E, E, E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ E, E, E, E, E, E, E, E);
    registry::register_type(TYPE_DATE, 0, "date!", slots);
}

}  // namespace zun::date
