# The clipboard: script tests on the in-memory display and without a display,
# and the X test (Xvfb, xclip and ImageMagick; skipped without them unless CI=true;
# heavy: a few dozen processes and fixed serving times).
set_tests_properties(zun.clipboard PROPERTIES ENVIRONMENT "ZUN_DISPLAY=memory")
set_tests_properties(zun.clipboard_no_display PROPERTIES
                     ENVIRONMENT_MODIFICATION "DISPLAY=unset:;ZUN_DISPLAY=unset:")
zun_python_test(clipboard_x11 tests/clipboard_x11.py LABELS heavy)
set_tests_properties(zun.clipboard_x11 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
# Other areas' scripts that copy and paste run on the in-memory display (their
# tests are defined by parts included later).
cmake_language(DEFER CALL set_tests_properties zun.startup_routines zun.help_transcripts
               PROPERTIES ENVIRONMENT "ZUN_DISPLAY=memory")
# A 10 MB text written and read back through Xvfb against two xclip runs; run
# on request: python3 bench/clipboard_bench.py build/zun [rounds]
