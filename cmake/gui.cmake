# The window layer's tests check the keysym table against libxkbcommon.
if(ZUN_TESTS AND TARGET zun_unit)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
  target_link_libraries(zun_unit PRIVATE PkgConfig::XKBCOMMON)
endif()
