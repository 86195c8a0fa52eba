#include "platform/platform.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>

#include "core/console_out.hpp"
#include "core/support.hpp"

namespace zun::platform {

namespace {
// munmap wants the length VirtualFree did not: remember it per block. This also
// lets free_virtual refuse an address it never handed out.
std::unordered_map<void*, size_t>& mapped_blocks() {
    static std::unordered_map<void*, size_t> blocks;
    return blocks;
}

// Sleep's argument is a 32-bit count in which all ones means "forever".
constexpr double MAX_WAIT_MS = 4294967294.0;

double seconds_of_day(const timespec& now, bool precise) {
    int64_t secs = int64_t(now.tv_sec) % 86400;
    if (secs < 0) secs += 86400;
    double result = double(secs);
    if (precise) result += double(now.tv_nsec - now.tv_nsec % 100) / 1e9;
    return result;
}
}  // namespace

void init() { console_out::init(); }

void* alloc_virtual(size_t size) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) support::fire_error(ErrorId::internal_no_memory);
    mapped_blocks()[p] = size;
    return p;
}

void free_virtual(void* address) {
    auto& blocks = mapped_blocks();
    auto it = blocks.find(address);
    if (it == blocks.end() || munmap(address, it->second) != 0)
        support::fire_error(ErrorId::internal_wrong_mem);
    blocks.erase(it);
}

std::string get_current_dir() {
    std::string dir(256, '\0');
    while (!getcwd(dir.data(), dir.size())) {
        if (errno != ERANGE) return {};
        dir.resize(dir.size() * 2);
    }
    dir.resize(std::strlen(dir.c_str()));
    return dir;
}

bool set_current_dir(const char* path) { return chdir(path) == 0; }

bool set_env(const char* name, const char* value) {
    if (!value) return unsetenv(name) == 0;
    return setenv(name, value, 1) == 0;
}

size_t get_env(const char* name, char* buffer, size_t size) {
    const char* value = std::getenv(name);
    if (!value) return 0;
    size_t length = std::strlen(value);
    if (!buffer || size <= length) return length + 1;
    std::memcpy(buffer, value, length + 1);
    return length;
}

uint32_t wait_milliseconds(double seconds) {
    double ms = std::trunc(seconds * 1000.0);
    if (!(ms >= 1.0)) return 1;  // also catches NaN
    return uint32_t(std::fmin(ms, MAX_WAIT_MS));
}

void wait(double seconds) {
    uint32_t ms = wait_milliseconds(seconds);
    timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

double time_of_day(bool precise) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return seconds_of_day(now, precise);
}

uint32_t pack_zone(int32_t offset_minutes) {
    // The sign goes in its own bit, so -0:30 keeps it although its hours are 0.
    uint32_t magnitude = uint32_t(std::abs(int64_t(offset_minutes)));
    uint32_t hours = magnitude / 60 > 15 ? 15 : magnitude / 60;
    uint32_t quarters = (magnitude % 60) / 15 & 3;
    uint32_t sign = offset_minutes < 0 ? 0x10 : 0;
    return (hours | sign) << 2 | quarters;
}

uint32_t pack_date(int32_t year, int32_t month, int32_t day, int32_t offset_minutes) {
    return uint32_t(year) << 17 | uint32_t(month) << 12 | uint32_t(day) << 7 |
           pack_zone(offset_minutes);
}

uint32_t current_date(bool utc) {
    time_t now = std::time(nullptr);
    tm parts{};
    if (!(utc ? gmtime_r(&now, &parts) : localtime_r(&now, &parts))) return 0;
    int32_t offset = utc ? 0 : int32_t(parts.tm_gmtoff / 60);
    return pack_date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, offset);
}

}  // namespace zun::platform
