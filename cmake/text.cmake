# Text: pango (with fontconfig) over cairo for text formats, layouts,
# measuring and drawing text.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
target_link_libraries(zunrt PUBLIC PkgConfig::PANGOCAIRO)

# Text tests see only the DejaVu fonts of fonts-dejavu-core, so metrics are
# the same on every machine.
set(ZUN_TEXT_FONTS "FONTCONFIG_FILE=${CMAKE_SOURCE_DIR}/tests/text_fonts.conf")
file(GLOB ZUN_TEXT_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/zun/text*.zun)
foreach(script ${ZUN_TEXT_SCRIPTS})
  get_filename_component(name ${script} NAME_WE)
  set_tests_properties(zun.${name} PROPERTIES ENVIRONMENT "${ZUN_TEXT_FONTS}")
endforeach()

# Sizes, caret points, hit positions, line heights and drawn pixels against a
# PangoCairo twin (Debian's python3 with python3-gi).
add_test(NAME zun.text_twin COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/text_twin.py $<TARGET_FILE:zun>)
set_tests_properties(zun.text_twin PROPERTIES LABELS script ENVIRONMENT "${ZUN_TEXT_FONTS}")
if(ZUN_TESTS)
  target_compile_definitions(zun_unit PRIVATE ZUN_TEXT_FONTS_CONF="${CMAKE_SOURCE_DIR}/tests/text_fonts.conf")
endif()

# Random texts and style blocks through layouts, metrics and drawing.
zun_fuzzer(text_fuzz tests/fuzz/text_fuzz.cpp)

# text_gui: the in-memory display as well.
set_tests_properties(zun.text_gui PROPERTIES ENVIRONMENT "${ZUN_TEXT_FONTS};ZUN_DISPLAY=memory:1024x768@96")

# Text on Xvfb: the boxes size-text and text-box-metrics answer hold the
# text's pixels; subpixel text from the screen's Xft.rgba. Heavy, as the
# other X tests.
zun_python_test(text_x11 tests/text_x11.py LABELS "x11;heavy")
set_tests_properties(zun.text_x11 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
