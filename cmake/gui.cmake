# The window layer's X11 display, and its tests: the keysym table against
# libxkbcommon, a smoke test under Xvfb.
find_package(PkgConfig REQUIRED)
pkg_check_modules(X11LIBS REQUIRED IMPORTED_TARGET x11 xext xrandr xrender)
target_link_libraries(zunrt PUBLIC PkgConfig::X11LIBS)
if(ZUN_TESTS AND TARGET zun_unit)
  pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
  target_link_libraries(zun_unit PRIVATE PkgConfig::XKBCOMMON)
endif()
