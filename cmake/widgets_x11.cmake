# Control faces used through a real X server (Xvfb, xdotool, ImageMagick)
zun_python_test(widgets_x11 tests/widgets_x11.py LABELS "x11;heavy")
set_tests_properties(zun.widgets_x11 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240)
