# PLOK Time. `make run` builds and starts the program; `make test` builds and
# runs every test. Both install the Debian packages they need first.
BUILD := build
SAN_BUILD := build-sanitize
JOBS := 2
FUZZ_SECONDS ?= 60

.PHONY: all deps build run test test-sanitize fuzz bench bench-program soak screenshot clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/app/plok_time

# Everything: the unit, rendering and end-to-end tests and a minute of the board
# fuzzer; then the in-process tests and the input storm again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
test: build
	ctest --test-dir $(BUILD) --output-on-failure
	@$(MAKE) --no-print-directory test-sanitize

test-sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPLOK_SANITIZE=ON >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS)
	ctest --test-dir $(SAN_BUILD) -L 'unit|storm' --output-on-failure

# The board fuzzer (clang's libFuzzer); `make fuzz FUZZ_SECONDS=3600` for a long run.
fuzz: deps
	tests/fuzz/run.sh $(FUZZ_SECONDS)

# Frame times of the scene pass against a bare reference loop.
bench: build
	python3 tests/lib/with_xvfb.py $(BUILD)/bench/frame_bench

# The whole program's frame rate with its panel and without, and key latency.
bench-program: build
	python3 bench/program_bench.py $(BUILD)

# Resident memory over 10,000 place-and-undo cycles and as many frames (about 20 minutes).
soak: build
	python3 tests/stress/soak.py $(BUILD)/app/plok_time $(BUILD)/tests/e2e/panel_layout \
		$(BUILD)/bench/libswap_counter.so --cycles 10000 --frames 10000 --verbose

# The picture in this README.
screenshot: build
	python3 scripts/screenshot.py $(BUILD)/app/plok_time docs/screenshot.png

clean:
	rm -rf $(BUILD) $(SAN_BUILD) build-fuzz
