# make        build build/zun
# make run    install missing packages, build, start the console
# make test   install missing packages, build, run every test; then the same
#             under ASan+UBSan with the collector moving buffers at every allocation
#             (tests labelled heavy left out), then a bounded run of every fuzz target
# make fuzz   the fuzz runs alone (FUZZ_SECONDS each, default 45, FUZZ_JOBS at once; FUZZ_TARGETS to pick; needs clang)
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 45
FUZZ_TARGETS ?=
JOBS       ?= $(shell nproc)

.PHONY: all build run test test-asan fuzz deps clean bench

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: deps build
	./$(BUILD)/zun

test: deps build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-asan
	$(MAKE) fuzz

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZUN_SANITIZE=ON -DZUN_GC_STRESS=1

test-asan: $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE heavy

# Every fuzz target runs for FUZZ_SECONDS; tests/fuzz/<target>.seeds names its seeds.
$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUN_FUZZ=ON

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	tools/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
