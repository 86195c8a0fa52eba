# Compression: deflate, inflate and the zlib and gzip framings.

# Interop with python3's zlib and gzip modules and the gzip tool, both ways.
zun_python_test(compress_oracle tests/compress_oracle.py)
# The same over the Canterbury files, with our deflate output pinned.
zun_python_test(compress_oracle_corpus tests/compress_oracle.py LABELS heavy ARGS --corpus)

# Fuzz targets, judged against zlib (linked into them alone, never into zun).
zun_fuzzer(inflate_fuzz tests/fuzz/inflate_fuzz.cpp)
zun_fuzzer(deflate_fuzz tests/fuzz/deflate_fuzz.cpp)
if(ZUN_FUZZ)
  find_package(ZLIB REQUIRED)
  target_link_libraries(inflate_fuzz PRIVATE ZLIB::ZLIB)
  target_link_libraries(deflate_fuzz PRIVATE ZLIB::ZLIB)
endif()

# The C++ bench against zlib (and libdeflate when present); built on request:
#   cmake --build build --target compress_bench
find_package(ZLIB QUIET)
if(ZLIB_FOUND)
  add_executable(compress_bench EXCLUDE_FROM_ALL bench/compress_bench.cpp)
  target_link_libraries(compress_bench PRIVATE zunrt ZLIB::ZLIB)
  find_library(LIBDEFLATE deflate)
  if(LIBDEFLATE)
    target_compile_definitions(compress_bench PRIVATE ZUN_HAVE_LIBDEFLATE)
    target_link_libraries(compress_bench PRIVATE ${LIBDEFLATE})
  endif()
endif()

# The codecs' hot loops gain from -O3 (unrolled compares and copies).
set_source_files_properties(services/deflate.cpp services/inflate.cpp PROPERTIES COMPILE_OPTIONS -O3)
