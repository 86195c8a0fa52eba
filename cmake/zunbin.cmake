# ZUNBIN: the boot stream, made at build time by a tool built from the runtime
# library (which has no stream, so the tool's start-up lexes every text), and
# embedded into the program.
add_executable(zunboot tools/zunboot.cpp tools/zunboot_compare.cpp)
target_link_libraries(zunboot PRIVATE zunrt Threads::Threads)
# The keys of its literals (which text each one is) go into a second array.
add_custom_command(
  OUTPUT ${GEN_DIR}/boot_stream.inc ${GEN_DIR}/boot_stream_keys.inc
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:zunboot> ${GEN_DIR}/boot_stream.zunbin ${GEN_DIR}/boot_stream.keys
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/embed_file.py
          ${GEN_DIR}/boot_stream.zunbin ${GEN_DIR}/boot_stream.inc boot_stream
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/embed_file.py
          ${GEN_DIR}/boot_stream.keys ${GEN_DIR}/boot_stream_keys.inc boot_stream_keys
  DEPENDS zunboot ${CMAKE_SOURCE_DIR}/tools/embed_file.py
  COMMENT "Making the boot stream")
add_custom_target(zun_boot_stream DEPENDS ${GEN_DIR}/boot_stream.inc ${GEN_DIR}/boot_stream_keys.inc)
add_dependencies(zun zun_boot_stream)
set_source_files_properties(${CMAKE_SOURCE_DIR}/startup/main.cpp PROPERTIES
                            OBJECT_DEPENDS "${GEN_DIR}/boot_stream.inc;${GEN_DIR}/boot_stream_keys.inc")

# The readers and the runtime LZ under libFuzzer.
zun_fuzzer(zunbin_compact_fuzz tests/fuzz/zunbin_fuzz.cpp)
zun_fuzzer(zunbin_aligned_fuzz tests/fuzz/zunbin_fuzz.cpp)
zun_fuzzer(lz_fuzz tests/fuzz/lz_fuzz.cpp)
if(ZUN_FUZZ)
  target_compile_definitions(zunbin_aligned_fuzz PRIVATE ZUNBIN_FUZZ_ALIGNED=1)
endif()

# The unit test that starts up from the stream.
if(ZUN_TESTS)
  # The tool's own check as a test: every text start-up reads, lexed and
  # decoded from a fresh stream, compared value by value. Heavy: a sanitizer
  # build already runs the tool to make its stream.
  add_test(NAME zun.zunboot_check
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                   $<TARGET_FILE:zunboot> ${CMAKE_BINARY_DIR}/zunboot_check.zunbin
                   ${CMAKE_BINARY_DIR}/zunboot_check.keys)
  set_tests_properties(zun.zunboot_check PROPERTIES LABELS "script;heavy")
  add_dependencies(zun_unit zun_boot_stream)
  target_sources(zun_unit PRIVATE ${CMAKE_SOURCE_DIR}/tools/zunboot_compare.cpp)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/tests/unit/boot_stream_test.cpp PROPERTIES
                              OBJECT_DEPENDS "${GEN_DIR}/boot_stream.inc;${GEN_DIR}/boot_stream_keys.inc")
endif()
