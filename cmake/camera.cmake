# The capture slot's tests again under ThreadSanitizer: the capture thread is
# the one foreign thread of the system.
if(ZUN_TESTS AND NOT ZUN_FUZZ AND NOT ZUN_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_executable(camera_tsan
    ${CMAKE_SOURCE_DIR}/gui/camera_slot.cpp
    ${CMAKE_SOURCE_DIR}/gui/camera_capture.cpp
    ${CMAKE_SOURCE_DIR}/gui/camera_devices.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/camera_slot_test.cpp)
  target_include_directories(camera_tsan PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(camera_tsan PRIVATE -fsanitize=thread -O1 -g)
  target_link_options(camera_tsan PRIVATE -fsanitize=thread)
  target_link_libraries(camera_tsan PRIVATE GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME camera_tsan COMMAND camera_tsan)
  set_tests_properties(camera_tsan PROPERTIES LABELS unit)
endif()

# libv4l2 (converts any camera format to BGR24) is opened on the first real
# capture device.
find_library(V4L2_LIBRARY v4l2 REQUIRED)
zun_lazy_library(gui/camera_v4l2_lazy.cpp ZUN_SONAME_V4L2 ${V4L2_LIBRARY} "")

# The camera face over the machine's real /dev (no capture device on CI).
set_tests_properties(zun.camera_none PROPERTIES ENVIRONMENT
                     "ZUN_DISPLAY=memory:1024x768@96;ZUN_CAMERA_DEVICES=/dev")

# One 1920x1080 frame through the capture path against memcpy; built on request:
#   cmake --build build --target camera_bench && build/camera_bench
add_executable(camera_bench EXCLUDE_FROM_ALL bench/camera_bench.cpp gui/camera_slot.cpp)
target_include_directories(camera_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(camera_bench PRIVATE Threads::Threads)
