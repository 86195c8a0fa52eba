// libv4l2, opened when a real capture device is first opened (see
// platform/lazy_library.hpp): the functions gui/camera_v4l2.cpp calls. Each is
// resolved on the GUI thread while the device is set up, before the capture
// thread calls it.
#include <libv4l2.h>

#include <cstdarg>

#include "platform/lazy_library.hpp"

namespace {
zun::lazy::Library g_v4l2(ZUN_SONAME_V4L2);
}

extern "C" {

ZUN_LAZY_EXPORT int v4l2_open(const char* file, int oflag, ...) {
    return ZUN_LAZY_CALL(g_v4l2, v4l2_open)(file, oflag);
}
ZUN_LAZY_EXPORT int v4l2_close(int fd) { return ZUN_LAZY_CALL(g_v4l2, v4l2_close)(fd); }
ZUN_LAZY_EXPORT int v4l2_ioctl(int fd, unsigned long int request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    return ZUN_LAZY_CALL(g_v4l2, v4l2_ioctl)(fd, request, arg);
}
ZUN_LAZY_EXPORT void* v4l2_mmap(void* start, size_t length, int prot, int flags, int fd, int64_t offset) {
    return ZUN_LAZY_CALL(g_v4l2, v4l2_mmap)(start, length, prot, flags, fd, offset);
}
ZUN_LAZY_EXPORT int v4l2_munmap(void* start, size_t length) {
    return ZUN_LAZY_CALL(g_v4l2, v4l2_munmap)(start, length);
}

}  // extern "C"
