# The standard dialogs, built from the window layer's controls.
file(GLOB ZUN_DIALOG_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/dialogs/*.cpp)
target_sources(zunrt PRIVATE ${ZUN_DIALOG_SOURCES})
# request-file on 10,000 files to its first paint; built on request:
#   cmake --build build --target dialogs_bench && build/dialogs_bench
add_executable(dialogs_bench EXCLUDE_FROM_ALL bench/dialogs_bench.cpp)
target_link_libraries(dialogs_bench PRIVATE zunrt)
target_include_directories(dialogs_bench PRIVATE ${CMAKE_SOURCE_DIR})
