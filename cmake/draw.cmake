# The draw pass and dialect, on cairo.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
file(GLOB DRAW_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/draw/*.cpp)
target_sources(zunrt PRIVATE ${DRAW_SOURCES})
target_link_libraries(zunrt PUBLIC PkgConfig::CAIRO)

# Scenes against python3-cairo and rsvg-convert twins: python3-cairo installs
# into Debian's own interpreter, which runs it.
add_test(NAME zun.draw_oracle
         COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/draw_oracle.py $<TARGET_FILE:zun>)
set_tests_properties(zun.draw_oracle PROPERTIES LABELS "script")
zun_fuzzer(draw_fuzz tests/fuzz/draw_fuzz.cpp)
