# Images: libpng, libjpeg-turbo, giflib and libtiff for the codecs (BMP is our
# own); ImageMagick is the tests' oracle.
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(GIF REQUIRED)
find_package(TIFF REQUIRED)
target_link_libraries(zunrt PUBLIC PNG::PNG JPEG::JPEG GIF::GIF)
# libtiff (with its codecs' libraries) is opened on the first TIFF.
zun_lazy_library(services/tiff_lazy.cpp ZUN_SONAME_TIFF ${TIFF_LIBRARY} "${TIFF_INCLUDE_DIRS}")

# Decoders and encoders against ImageMagick, the bad-file table.
zun_python_test(image_codecs tests/image_codecs.py)
# Arbitrary bytes through every decoder.
zun_fuzzer(image_fuzz tests/fuzz/image_fuzz.cpp)
