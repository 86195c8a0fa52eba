# make        build build/zun
# make run    install missing packages, build, start the console
# make test   install missing packages, build, run every test; then the same
#             under ASan+UBSan with the collector moving buffers at every allocation
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all build run test test-asan deps clean bench

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

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZUN_SANITIZE=ON -DZUN_GC_STRESS=1

test-asan: $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
