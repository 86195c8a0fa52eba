// The runtime's thin layer over the operating system: virtual memory, the
// current directory, environment variables, sleeping and the clock. The rest of
// the runtime reaches the OS for these only through here.
//
// Paths, names and values are UTF-8, NUL-terminated.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zun::platform {

// Start-up step after the print-hook lists: prepares the console output state.
void init();

// Read-write, zero-filled pages (never executable). Failure raises internal
// no-memory; freeing an address that alloc_virtual did not hand out, or that
// the OS refuses to release, raises internal wrong-mem.
void* alloc_virtual(size_t size);
void free_virtual(void* address);

// The current directory in UTF-8 without a trailing NUL; empty when the OS
// cannot tell (the directory was removed, say).
std::string get_current_dir();
bool set_current_dir(const char* path);

// A null value deletes the variable. False for a name the OS refuses (empty or
// holding '=').
bool set_env(const char* name, const char* value);
// Copies the value with its NUL into buffer and answers its length in bytes
// without the NUL. When buffer is null or too small, answers the size needed,
// NUL included; 0 when the variable is absent.
size_t get_env(const char* name, char* buffer, size_t size);

// Sleeps seconds x 1000 milliseconds, truncated, at least 1 ms.
void wait(double seconds);
// The whole milliseconds wait sleeps for a duration (exposed for tests).
uint32_t wait_milliseconds(double seconds);

// Seconds since midnight UTC; with precise, the fraction of the second too (in
// steps of 100 ns).
double time_of_day(bool precise);
// Today's date packed as year << 17 | month << 12 | day << 7 | zone; zone 0
// with utc, else the local offset from UTC.
uint32_t current_date(bool utc);
// Zone field: bits 2-6 whole hours (bit 6 the sign, bits 2-5 the magnitude),
// bits 0-1 the quarter hours.
uint32_t pack_zone(int32_t offset_minutes);
uint32_t pack_date(int32_t year, int32_t month, int32_t day, int32_t offset_minutes);

}  // namespace zun::platform
