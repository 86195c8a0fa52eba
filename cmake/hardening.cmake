# Natives and actions made from values with wrong specs: a table over every
# index, none of which may end the process.
zun_python_test(made_natives tests/made_natives.py ARGS ${CMAKE_SOURCE_DIR}/startup/boot-specs.zun)
