# Menus on a real X server (Xvfb and xdotool; skipped without them unless CI=true).
zun_python_test(menus_x11 tests/menus_x11.py LABELS "x11;heavy")
set_tests_properties(zun.menus_x11 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
