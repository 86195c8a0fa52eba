# The draw pass and dialect, on cairo.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
file(GLOB DRAW_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/draw/*.cpp)
target_sources(zunrt PRIVATE ${DRAW_SOURCES})
target_link_libraries(zunrt PUBLIC PkgConfig::CAIRO)
