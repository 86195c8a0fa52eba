// libtiff, opened on the first TIFF read or write (see
// platform/lazy_library.hpp): the functions services/image_codecs.cpp calls.
#include <tiffio.h>

#include <cstdarg>

#include "platform/lazy_library.hpp"

namespace {
zun::lazy::Library g_tiff(ZUN_SONAME_TIFF);
}

extern "C" {

ZUN_LAZY_EXPORT TIFF* TIFFClientOpenExt(const char* name, const char* mode, thandle_t client,
                                        TIFFReadWriteProc read, TIFFReadWriteProc write,
                                        TIFFSeekProc seek, TIFFCloseProc close, TIFFSizeProc size,
                                        TIFFMapFileProc map, TIFFUnmapFileProc unmap,
                                        TIFFOpenOptions* options) {
    return ZUN_LAZY_CALL(g_tiff, TIFFClientOpenExt)(name, mode, client, read, write, seek, close,
                                                    size, map, unmap, options);
}
ZUN_LAZY_EXPORT void TIFFClose(TIFF* tif) { ZUN_LAZY_CALL(g_tiff, TIFFClose)(tif); }
ZUN_LAZY_EXPORT uint32_t TIFFDefaultStripSize(TIFF* tif, uint32_t request) {
    return ZUN_LAZY_CALL(g_tiff, TIFFDefaultStripSize)(tif, request);
}
ZUN_LAZY_EXPORT int TIFFIsTiled(TIFF* tif) { return ZUN_LAZY_CALL(g_tiff, TIFFIsTiled)(tif); }
ZUN_LAZY_EXPORT TIFFOpenOptions* TIFFOpenOptionsAlloc() {
    return ZUN_LAZY_CALL(g_tiff, TIFFOpenOptionsAlloc)();
}
ZUN_LAZY_EXPORT void TIFFOpenOptionsFree(TIFFOpenOptions* options) {
    ZUN_LAZY_CALL(g_tiff, TIFFOpenOptionsFree)(options);
}
ZUN_LAZY_EXPORT void TIFFOpenOptionsSetErrorHandlerExtR(TIFFOpenOptions* options,
                                                        TIFFErrorHandlerExtR handler, void* data) {
    ZUN_LAZY_CALL(g_tiff, TIFFOpenOptionsSetErrorHandlerExtR)(options, handler, data);
}
ZUN_LAZY_EXPORT void TIFFOpenOptionsSetWarningHandlerExtR(TIFFOpenOptions* options,
                                                          TIFFErrorHandlerExtR handler, void* data) {
    ZUN_LAZY_CALL(g_tiff, TIFFOpenOptionsSetWarningHandlerExtR)(options, handler, data);
}
ZUN_LAZY_EXPORT int TIFFReadRGBAImageOriented(TIFF* tif, uint32_t width, uint32_t height,
                                              uint32_t* raster, int orientation, int stop) {
    return ZUN_LAZY_CALL(g_tiff, TIFFReadRGBAImageOriented)(tif, width, height, raster,
                                                            orientation, stop);
}
ZUN_LAZY_EXPORT int TIFFReadScanline(TIFF* tif, void* buffer, uint32_t row, uint16_t sample) {
    return ZUN_LAZY_CALL(g_tiff, TIFFReadScanline)(tif, buffer, row, sample);
}
ZUN_LAZY_EXPORT int TIFFWriteScanline(TIFF* tif, void* buffer, uint32_t row, uint16_t sample) {
    return ZUN_LAZY_CALL(g_tiff, TIFFWriteScanline)(tif, buffer, row, sample);
}
ZUN_LAZY_EXPORT tmsize_t TIFFScanlineSize(TIFF* tif) {
    return ZUN_LAZY_CALL(g_tiff, TIFFScanlineSize)(tif);
}

// The variadic field calls, each through its va_list form.
#define ZUN_TIFF_FIELD_CALL(va_form)                     \
    {                                                    \
        auto call = ZUN_LAZY_CALL(g_tiff, va_form);      \
        va_list args;                                    \
        va_start(args, tag);                             \
        const int ok = call(tif, tag, args);             \
        va_end(args);                                    \
        return ok;                                       \
    }
ZUN_LAZY_EXPORT int TIFFSetField(TIFF* tif, uint32_t tag, ...) ZUN_TIFF_FIELD_CALL(TIFFVSetField)
ZUN_LAZY_EXPORT int TIFFGetField(TIFF* tif, uint32_t tag, ...) ZUN_TIFF_FIELD_CALL(TIFFVGetField)
ZUN_LAZY_EXPORT int TIFFGetFieldDefaulted(TIFF* tif, uint32_t tag, ...)
    ZUN_TIFF_FIELD_CALL(TIFFVGetFieldDefaulted)

}  // extern "C"
