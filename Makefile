# PLOK Time. `make run` builds and starts the program; `make test` builds and
# runs every test. Each installs the Debian packages it needs first: `make run`
# and `make install` only what the build needs, `make package` also what building
# and checking Debian packages needs, the test targets also what the tests use.
BUILD := build
TEST_BUILD := build-test
JOBS := 2
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 60
SEED ?= 1
STEPS ?= 100

.PHONY: all deps-run deps-package deps-test build build-test run install uninstall package test test-order \
	fuzz diff-session soak bench bench-program screenshot clean

all: build

deps-run:
	@scripts/install-deps.sh run

deps-package:
	@scripts/install-deps.sh package

deps-test:
	@scripts/install-deps.sh test

build: deps-run
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/app/plok_time

# As plok-time under $(PREFIX), with its menu entry, icon and manual page;
# DESTDIR=... stages it elsewhere. `make uninstall` removes exactly those files.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	cmake --build $(BUILD) --target uninstall

# The Debian packages, built by dpkg-buildpackage from this tree's source package
# (scripts/package.sh): $(BUILD)/plok-time_VERSION_ARCH.deb and its -dbgsym, the
# source package and the build's files in $(BUILD)/deb. The build runs the unit
# and rendering tests; DEB_BUILD_OPTIONS=nocheck leaves them out.
package: deps-package
	scripts/package.sh $(BUILD) -J$(JOBS)

# Every test. The unit and rendering tests, the program end to end and a short
# differential session run in a tree built with AddressSanitizer and
# UndefinedBehaviorSanitizer; the install and package check, and the rendering
# test without Mesa's flip extension, in the plain build; then twenty seconds
# of the board fuzzer. The sanitized tests run two at a time: each has a
# virtual X server of its own, and the end-to-end test spends most of its
# time waiting for the program to rest.
test: deps-test build build-test
	ctest --test-dir $(TEST_BUILD) -j$(JOBS) --output-on-failure
	ctest --test-dir $(BUILD) -L 'install|unflipped' --output-on-failure
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=20

# The unit and rendering tests in other orders: each binary shuffled with the
# seeds of ORDER_SEEDS, then every test alone, each in a process of its own.
ORDER_SEEDS ?= 1 2 3 4 5
RENDER_TEST := env ASAN_OPTIONS=detect_leaks=0 python3 tests/x.py $(TEST_BUILD)/tests/render_test
test-order: build-test
	@set -e; for seed in $(ORDER_SEEDS); do \
	  for test in "$(TEST_BUILD)/tests/unit_tests" "$(RENDER_TEST)"; do \
	    echo "== $${test##*/}, order $$seed"; \
	    $$test --gtest_shuffle --gtest_random_seed=$$seed --gtest_brief=1; \
	  done; \
	done
	@set -e; for test in "$(TEST_BUILD)/tests/unit_tests" "$(RENDER_TEST)"; do \
	  for name in $$($$test --gtest_list_tests | awk '/^[^ ]/ {suite = $$1} /^  / {print suite $$1}'); do \
	    echo "== $$name alone"; \
	    $$test --gtest_filter=$$name --gtest_brief=1; \
	  done; \
	done

build-test: deps-test
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOK_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j$(JOBS)

# The board fuzzer (clang's libFuzzer): `make fuzz FUZZ_SECONDS=3600` for a long
# run. A failing input is saved as build-fuzz/crash-*; build-fuzz/board_fuzz FILE replays it.
fuzz: deps-test
	@mkdir -p build-fuzz/corpus
	clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I. \
		board/board.cpp tests/board_fuzz.cpp -o build-fuzz/board_fuzz
	build-fuzz/board_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=2048 -print_final_stats=1 \
		-artifact_prefix=build-fuzz/ build-fuzz/corpus

# The differential session: every kind of input played on the sanitized program
# with framebuffer objects and, at once, on the one without, both checked at
# every rest against each other and a model of the board; after the first pass,
# STEPS in all at random, with bursts of 2,000 keys and a model of over 1,000
# bricks. E.g. `make diff-session SEED=7 STEPS=300`; LOAD=1 keeps a core busy
# meanwhile. A finding prints the seed, the step, the inputs and the command
# that replays it.
diff-session: build-test
	python3 tests/program_test.py $(TEST_BUILD)/app/plok_time $(TEST_BUILD)/tests/panel_layout \
		--diff $(SEED) $(STEPS) $(if $(LOAD),--load)

# A long session (about 15 minutes) must not crash, print a stray line or leak.
soak:
	@$(MAKE) --no-print-directory diff-session STEPS=200

# Frame times of the scene pass against a bare reference loop.
bench: deps-test build
	python3 tests/x.py $(BUILD)/bench/frame_bench

# The whole program under Xvfb: the start to its first frame and its memory at
# rest beside a bare window, its frames and CPU at rest (with and without
# framebuffer objects), key press to changed frame in four scenes, its frames
# while the view is dragged (up to 6,000 bricks) and the exact picture after
# it, keys after a turn, panel clicks with 300 bricks, keys and clicks with
# 6,000, its memory after drags (about 20 minutes; parts alone, e.g.
# python3 bench/program_bench.py build --parts move --scenes 30 --drag-seconds 2).
# OLDER=dir,dir: older builds' trees, started and measured beside this one.
bench-program: deps-test build
	python3 bench/program_bench.py $(BUILD) $(if $(OLDER),--older $(OLDER))

# The picture in this README.
screenshot: deps-test build
	python3 scripts/screenshot.py $(BUILD)/app/plok_time docs/screenshot.png

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-fuzz
