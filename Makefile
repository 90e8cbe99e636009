# Vistrel: `make run` and `make test` do all the set-up on a fresh Debian 12
# machine (missing packages, configure, build) before they run.
BUILD      ?= build
JOBS       ?= 2
CMAKE_ARGS ?=

.PHONY: all deps configure build run test check-asan check-tsan fuzz soak bench format clean

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

# LABEL=wm (or unit, gui, e2e, wayland) runs that layer alone.
test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 900 $(if $(LABEL),-L '^$(LABEL)$$')

# Sanitizer runs. Every report aborts the test that caused it; the
# suppression files hold only reports inside system libraries, each explained.
SAN_SUPP   = $(CURDIR)/tests/sanitizers
ASAN_ENV   = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
             LSAN_OPTIONS=suppressions=$(SAN_SUPP)/lsan.supp:print_suppressions=0 \
             UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The soak runs shortened: its memory figures mean nothing under ASan's
# quarantine, its leaks and errors do.
ASAN_SOAK  = VISTREL_SOAK_SECONDS=45 VISTREL_SOAK_RSS_LIMIT_MB=0

# AddressSanitizer + UndefinedBehaviorSanitizer over every test that can run
# under it: unit, gui, e2e, wm and wayland (the e2e, wm and wayland tests run
# the instrumented program; under a window manager it meets configure, focus
# and close requests that a bare server never sends, and on the Wayland
# session its screencast and reconnection code).
check-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_SANITIZE=address -DVISTREL_BUILD_BENCH=OFF
	cmake --build build-asan -j$(JOBS)
	cd build-asan && $(ASAN_ENV) $(ASAN_SOAK) \
	  ctest --output-on-failure -L 'unit|gui|e2e|wm|wayland' --timeout 900

# ThreadSanitizer over the timer, messaging, whole-frame, dialog and fault tests.
check-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_SANITIZE=thread -DVISTREL_BUILD_BENCH=OFF
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(SAN_SUPP)/tsan.supp" \
	  ctest --output-on-failure -L tsan --timeout 900

# libFuzzer over vistrel-filter's library and the pixel kernels, built with
# clang in build-fuzz, FUZZ_SECONDS each. New inputs collect in
# build-fuzz/corpus-*; the committed seeds in fuzz/corpus/* are only read.
# A finding is left in build-fuzz/findings/ and fails the run.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 120
FUZZ_TARGETS  = filter kernels
fuzz:
	CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	@mkdir -p $(FUZZ_BUILD)/findings
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus-$$t; \
	  echo "fuzz_$$t: $(FUZZ_SECONDS) s"; \
	  $(ASAN_ENV) $(FUZZ_BUILD)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=2048 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/findings/$$t- \
	    $(FUZZ_BUILD)/corpus-$$t fuzz/corpus/$$t >$(FUZZ_BUILD)/fuzz_$$t.log 2>&1 \
	  || { tail -n 60 $(FUZZ_BUILD)/fuzz_$$t.log; exit 1; }; \
	  grep -E '^stat::(number_of_executed_units|new_units_added)' $(FUZZ_BUILD)/fuzz_$$t.log; \
	done

# The soak alone, as long as SOAK_SECONDS says (make test runs it for 180 s).
SOAK_SECONDS ?= 1800
soak: build
	VISTREL_SOAK_SECONDS=$(SOAK_SECONDS) VISTREL_EXE=$(abspath $(BUILD))/app/vistrel \
	  VISTREL_FILTER=$(abspath $(BUILD))/tools/vistrel-filter \
	  VISTREL_E2E_ARTIFACTS=$(abspath $(BUILD))/e2e-artifacts/soak PYTHONPATH=$(CURDIR)/tests/e2e \
	  tests/e2e/with_xvfb.sh 1024x768 /usr/bin/python3 tests/e2e/harness.py paint \
	    --ppm $(abspath $(BUILD))/e2e-artifacts/soak/desktop.ppm -- /usr/bin/python3 tests/e2e/soak_test.py

bench: build
	@./scripts/install-deps.sh --bench
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-tsan $(FUZZ_BUILD)
