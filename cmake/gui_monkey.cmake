# The window layer's monkey test: random input, window-manager actions and
# facet changes on random face trees, in memory. Fewer steps under the
# sanitizers, where the collector also moves every buffer at each allocation.
if(ZUN_SANITIZE)
  set(GUI_MONKEY_ARGS --steps 40 --seeds 1,2)
else()
  set(GUI_MONKEY_ARGS --steps 1500 --seeds 1,2,3,4)
endif()
zun_python_test(gui_monkey tests/gui_monkey.py ARGS ${GUI_MONKEY_ARGS})
set_tests_properties(zun.gui_monkey PROPERTIES TIMEOUT 1200)
