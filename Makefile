# PLOK Time. `make run` builds and starts the program; `make test` builds and
# runs every test. Both install the Debian packages they need first.
BUILD := build
TEST_BUILD := build-test
JOBS := 2
FUZZ_SECONDS ?= 60
SEED ?= 1
STORM_SECONDS ?= 300

.PHONY: all deps build build-test run test fuzz storm bench bench-program soak screenshot clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/app/plok_time

# Every test, in one tree built with AddressSanitizer and UndefinedBehaviorSanitizer:
# the unit and rendering tests, the program end to end and a short storm of
# random input; then twenty seconds of the board fuzzer.
test: build-test
	ctest --test-dir $(TEST_BUILD) --output-on-failure
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=20

build-test: deps
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOK_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j$(JOBS)

# The board fuzzer (clang's libFuzzer); `make fuzz FUZZ_SECONDS=3600` for a long run.
# A failing input is saved as build-fuzz/crash-*; run build-fuzz/board_fuzz FILE to replay it.
fuzz: deps
	@mkdir -p build-fuzz/corpus
	clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I. \
		board/board.cpp tests/board_fuzz.cpp -o build-fuzz/board_fuzz
	build-fuzz/board_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=2048 -print_final_stats=1 \
		-artifact_prefix=build-fuzz/ build-fuzz/corpus

# Random keys, clicks, drags, menu choices and resizes against the sanitized
# program: `make storm SEED=7 STORM_SECONDS=600`.
storm: build-test
	python3 tests/program_test.py $(TEST_BUILD)/app/plok_time $(TEST_BUILD)/tests/panel_layout \
		--storm $(SEED) $(STORM_SECONDS)

# Frame times of the scene pass against a bare reference loop.
bench: build
	python3 tests/x.py $(BUILD)/bench/frame_bench

# The whole program's frame rate with its panel and without, and key latency.
bench-program: build
	python3 bench/program_bench.py $(BUILD)

# Resident memory over 10,000 place-and-undo cycles (about 15 minutes).
soak: build
	python3 tests/program_test.py $(BUILD)/app/plok_time $(BUILD)/tests/panel_layout --soak 10000

# The picture in this README.
screenshot: build
	python3 scripts/screenshot.py $(BUILD)/app/plok_time docs/screenshot.png

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-fuzz
