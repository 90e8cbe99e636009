# Vistrel: `make run` and `make test` do all the set-up on a fresh Debian 12
# machine (missing packages, configure, build) before they run.
BUILD      ?= build
JOBS       ?= 2
CMAKE_ARGS ?=

.PHONY: all deps configure build run test check-asan check-tsan bench format clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@./scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 900

# AddressSanitizer + UndefinedBehaviorSanitizer over the unit and gui tests.
check-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_SANITIZE=address -DVISTREL_BUILD_BENCH=OFF
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -L 'unit|gui' -LE slow --timeout 900

# ThreadSanitizer over the timer, messaging and whole-frame tests.
check-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_SANITIZE=thread -DVISTREL_BUILD_BENCH=OFF
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/sanitizers/tsan.supp" \
	  ctest --output-on-failure -L tsan -LE slow --timeout 900

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-tsan
