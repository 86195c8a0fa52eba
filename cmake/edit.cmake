# The EDIT control's bench: one key typed into a 10,000-line area and its
# repaint, as a share of a 16 ms frame; built on request:
#   cmake --build build --target edit_bench && build/edit_bench
add_executable(edit_bench EXCLUDE_FROM_ALL bench/edit_bench.cpp)
target_link_libraries(edit_bench PRIVATE zunrt)
# Messages, keys, clicks and resizes on three EDIT controls.
zun_fuzzer(edit_fuzz tests/fuzz/edit_fuzz.cpp)
