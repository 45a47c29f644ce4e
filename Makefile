# PLOK Time. `make run` builds and starts the program; `make test` builds and
# runs every test. Each installs the Debian packages it needs first: `make run`,
# `make install` and `make package` only what the build needs, the test targets
# also what the tests use.
BUILD := build
SAN_BUILD := build-sanitize
JOBS := 2
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local

.PHONY: all deps-run deps-test build run install uninstall package test test-sanitize fuzz bench \
	bench-program soak screenshot clean

all: build

deps-run:
	@scripts/install-deps.sh run

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

# The same files as a Debian package: $(BUILD)/plok-time_VERSION_ARCH.deb.
package: build
	cd $(BUILD) && cpack

# Everything: the unit, rendering and end-to-end tests and a minute of the board
# fuzzer; then the in-process tests and the input storm again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
test: deps-test build
	ctest --test-dir $(BUILD) --output-on-failure
	@$(MAKE) --no-print-directory test-sanitize

test-sanitize: deps-test
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPLOK_SANITIZE=ON >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS)
	ctest --test-dir $(SAN_BUILD) -L 'unit|storm' --output-on-failure

# The board fuzzer (clang's libFuzzer); `make fuzz FUZZ_SECONDS=3600` for a long run.
fuzz: deps-test
	tests/fuzz/run.sh $(FUZZ_SECONDS)

# Frame times of the scene pass against a bare reference loop.
bench: deps-test build
	python3 tests/lib/with_xvfb.py $(BUILD)/bench/frame_bench

# The whole program's frame rate with its panel and without, and key latency.
bench-program: deps-test build
	python3 bench/program_bench.py $(BUILD)

# Resident memory over 10,000 place-and-undo cycles and as many frames (about 20 minutes).
soak: deps-test build
	python3 tests/stress/soak.py $(BUILD)/app/plok_time $(BUILD)/tests/e2e/panel_layout \
		$(BUILD)/bench/libswap_counter.so --cycles 10000 --frames 10000 --verbose

# The picture in this README.
screenshot: deps-test build
	python3 scripts/screenshot.py $(BUILD)/app/plok_time docs/screenshot.png

clean:
	rm -rf $(BUILD) $(SAN_BUILD) build-fuzz
