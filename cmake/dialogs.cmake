# The standard dialogs, built from the window layer's controls.
file(GLOB ZUN_DIALOG_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/dialogs/*.cpp)
target_sources(zunrt PRIVATE ${ZUN_DIALOG_SOURCES})
# request-file on 10,000 files to its first paint; built on request:
#   cmake --build build --target dialogs_bench && build/dialogs_bench
add_executable(dialogs_bench EXCLUDE_FROM_ALL bench/dialogs_bench.cpp)
target_link_libraries(dialogs_bench PRIVATE zunrt)
target_include_directories(dialogs_bench PRIVATE ${CMAKE_SOURCE_DIR})
# The file dialog over its owner on Xvfb (tests/xvfb_harness.py), bounded;
# heavy for the same reason as gui_x11: one start-up under the sanitizers is slow.
zun_python_test(dialogs_x11 tests/dialogs_x11.py LABELS "x11;heavy")
set_tests_properties(zun.dialogs_x11 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
