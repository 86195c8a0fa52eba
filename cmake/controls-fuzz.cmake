# Random input and messages on every standard control class.
zun_fuzzer(controls_fuzz tests/fuzz/controls_fuzz.cpp)
