# Front door: `make run` and `make test` do all the set-up on a fresh Debian machine.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
CMAKE_FLAGS ?=
PROFILE := $(CURDIR)/$(BUILD)/run-profile
FUZZ_SECONDS ?= 60

.PHONY: all deps build test run bench sanitize tsan fuzz fuzz-ci format clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Starts the gateway on its built-in modem emulator in a throwaway profile under build/, so that
# the user's own configuration, folders and log are never touched.
run: build
	@scripts/run-profile "$(PROFILE)" "$(CURDIR)/$(BUILD)/parlane"

bench: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DPARLANE_BUILD_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)
	@for b in $(BUILD)-bench/bench/bench_*; do [ -x "$$b" ] && "$$b"; done; true

# AddressSanitizer and UndefinedBehaviorSanitizer over the whole suite.
sanitize: deps
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DPARLANE_SANITIZE=address,undefined -DPARLANE_BUILD_BENCH=OFF
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer over the tests that run several threads.
tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=Debug -DPARLANE_SANITIZE=thread -DPARLANE_BUILD_BENCH=OFF -DPARLANE_BUILD_GUI=OFF
	cmake --build $(BUILD)-tsan -j $(JOBS)
	cd $(BUILD)-tsan && ctest --output-on-failure -j $(JOBS) -L threaded

# libFuzzer targets (clang), each run for FUZZ_SECONDS under ASan, as many at once as there are
# cores (FUZZ_JOBS sets another number).
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=Debug -DPARLANE_FUZZ=ON \
	  -DPARLANE_BUILD_GUI=OFF -DPARLANE_BUILD_TESTS=OFF -DPARLANE_BUILD_BENCH=OFF
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	@scripts/run-fuzzers "$(BUILD)-fuzz/fuzz" $(FUZZ_SECONDS)

fuzz-ci:
	$(MAKE) fuzz FUZZ_SECONDS=20

format:
	find src tests bench fuzz tools -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz $(BUILD)-bench
