# The standard control classes of the window layer, drawn with cairo and pango.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
file(GLOB ZUN_CONTROL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/controls/*.cpp)
target_sources(zunrt PRIVATE ${ZUN_CONTROL_SOURCES})
target_link_libraries(zunrt PUBLIC PkgConfig::PANGOCAIRO)
