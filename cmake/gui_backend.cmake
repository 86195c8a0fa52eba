# The GUI backend's script tests run on the in-memory display; gui_nodisplay
# checks the behaviour without any display.
file(GLOB GUI_SCRIPT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/zun/gui_*.zun)
foreach(script ${GUI_SCRIPT_TESTS})
  get_filename_component(name ${script} NAME_WE)
  if(name STREQUAL "gui_nodisplay")
    set_tests_properties(zun.${name} PROPERTIES ENVIRONMENT "ZUN_DISPLAY=;DISPLAY=")
  elseif(name STREQUAL "gui_paint" OR name STREQUAL "gui_widgets_theme")
    # a second monitor at 144 DPI; fonts pinned to the DejaVu files
    set_tests_properties(zun.${name} PROPERTIES ENVIRONMENT
                        "ZUN_DISPLAY=memory:1024x768@96,1280x1024+1024+0@144;FONTCONFIG_FILE=${CMAKE_SOURCE_DIR}/tests/text_fonts.conf")
  else()
    set_tests_properties(zun.${name} PROPERTIES ENVIRONMENT
                        "ZUN_DISPLAY=memory:1024x768@96,1280x1024+1024+0@96")
  endif()
endforeach()

# Windows and events end to end on Xvfb (tests/xvfb_harness.py), bounded;
# heavy: one start-up under the sanitizers with a moving collector takes most
# of a minute on a loaded machine.
zun_python_test(gui_x11 tests/gui_x11.py LABELS "x11;heavy")
set_tests_properties(zun.gui_x11 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
# Screens, DPI, desktop settings and the window manager on Xvfb: xrdb,
# xrandr, xsettingsd and openbox drive the server (heavy, as gui_x11).
zun_python_test(gui_x11_screens tests/gui_x11_screens.py LABELS "x11;heavy")
set_tests_properties(zun.gui_x11_screens PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
