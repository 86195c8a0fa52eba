// date!: a calendar date with an optional time of day and zone.
//
// Cell: word 1 the packed date, words 2-3 the time as a double of seconds.
// Packed date: bits 17-31 the signed year, bit 16 the time flag, 12-15 the
// month, 7-11 the day, bit 6 the zone sign (west of UTC), 2-5 the zone hours,
// 0-1 the zone quarter hours. Year, month and day are the local calendar
// date; the stored time is the local time of day less the zone offset.
// Without the time flag the time and the zone are 0.
//
// Day numbers count from 1 March of year 0 (day 0), with floor division, so
// they run on without a seam through the years before 0.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::date {

constexpr uint32_t TIME_FLAG = 1u << 16;
constexpr uint32_t ZONE_MASK = 0x7F;
constexpr int32_t MIN_YEAR = -16384;  // what the 15 bits of the packed year hold
constexpr int32_t MAX_YEAR = 16383;
constexpr int32_t UNIX_EPOCH_DAY = 719468;  // 1 January 1970

void register_type();

inline int32_t year_of(uint32_t packed) { return int32_t(packed) >> 17; }
inline int32_t month_of(uint32_t packed) { return int32_t(packed >> 12 & 0xF); }
inline int32_t day_of(uint32_t packed) { return int32_t(packed >> 7 & 0x1F); }
inline bool has_time_q(uint32_t packed) { return (packed & TIME_FLAG) != 0; }

bool leap_year_q(int32_t year);
int32_t days_in_month(int32_t year, int32_t month);
// The day number of a calendar date (month and day in range).
int64_t day_number_of(int64_t year, int32_t month, int32_t day);
int32_t day_number(uint32_t packed);
// script/type-limit of date! when the year leaves what the packed word holds.
uint32_t from_day_number(int64_t n, uint32_t zone, bool has_time);
int32_t jan_1(uint32_t packed);
// The Monday that starts ISO week 1 of the year.
int32_t week_1_start(int32_t year);
int32_t year_day(uint32_t packed);
int32_t weekday(int32_t day_number);  // 1 Monday .. 7 Sunday
int32_t iso_week(uint32_t packed);

// A zone of offset minutes packed into 7 bits (hours taken modulo 16).
uint32_t pack_zone(int32_t offset_minutes);
int32_t zone_seconds(uint32_t packed);  // the signed offset of the zone bits

// Moves whole days between the day number and the stored time until the time
// plus the zone offset lies in [0, 86400). Answers the day number.
int64_t normalize_zone(int64_t day_number, double* time, uint32_t zone);

// Makes the cell a date!; the time is local, the zone in offset minutes.
Cell* init_cell(Cell* cell, int32_t year, int32_t month, int32_t day, double time,
                int32_t zone_minutes, bool has_time);
// Time flag set, zone 0, the time UTC.
Cell* init_with_time(Cell* cell, int32_t year, int32_t month, int32_t day, int32_t h, int32_t m,
                     int32_t s, int32_t ns);
Cell* push(uint32_t packed, double time);
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, uint32_t packed, double time);

// Makes date1's cell the time! between the two dates.
void difference(Cell* date1, const Cell* date2);

// 1 date .. 14 isoweek (yearday and julian both 11); -1 for another word.
int field_index(const Cell* word);
// Pushes field n.
Cell* get_field(const Cell* date, int n);
// Writes field n of the date cell in place.
void set_field(Cell* date, int n, const Cell* value);

// Day of the month, month name and year, then the time and zone, as form and
// mold write them.
int form_text(const Cell* date, Cell* buffer, int part);

}  // namespace zun::date
