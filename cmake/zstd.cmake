# Zstandard: the frame decoder with XXH64 and the compressor at levels 1 to 19.

# Interop with the zstd tool and xxhsum, both ways (many zun runs: heavy).
zun_python_test(zstd_interop tests/zstd_interop.py LABELS heavy)

# Fuzz targets, judged against libzstd (linked into them alone, never into zun).
zun_fuzzer(zstd_decode_fuzz tests/fuzz/zstd_decode_fuzz.cpp)
zun_fuzzer(zstd_roundtrip_fuzz tests/fuzz/zstd_roundtrip_fuzz.cpp)
find_library(ZSTD_LIBRARY zstd)
find_path(ZSTD_INCLUDE_DIR zstd.h)
if(ZUN_FUZZ)
  if(NOT ZSTD_LIBRARY OR NOT ZSTD_INCLUDE_DIR)
    message(FATAL_ERROR "the zstd fuzz targets need libzstd-dev")
  endif()
  target_link_libraries(zstd_decode_fuzz PRIVATE ${ZSTD_LIBRARY})
  target_link_libraries(zstd_roundtrip_fuzz PRIVATE ${ZSTD_LIBRARY})
endif()

# The C++ bench against libzstd; built on request:
#   cmake --build build --target zstd_bench && build/zstd_bench
if(ZSTD_LIBRARY AND ZSTD_INCLUDE_DIR)
  add_executable(zstd_bench EXCLUDE_FROM_ALL bench/zstd_bench.cpp)
  target_include_directories(zstd_bench PRIVATE ${ZSTD_INCLUDE_DIR})
  target_link_libraries(zstd_bench PRIVATE zunrt ${ZSTD_LIBRARY})
endif()

# The level table is generated from one data file.
add_custom_command(
  OUTPUT ${GEN_DIR}/zstd_levels.inc
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/gen_zstd_levels.py
          ${CMAKE_SOURCE_DIR}/services/zstd-levels.tsv ${GEN_DIR}/zstd_levels.inc
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_zstd_levels.py ${CMAKE_SOURCE_DIR}/services/zstd-levels.tsv
  COMMENT "Generating the zstd level table")
add_custom_target(zun_zstd_levels DEPENDS ${GEN_DIR}/zstd_levels.inc)
add_dependencies(zunrt zun_zstd_levels)
