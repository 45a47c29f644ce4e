# PLOK Time. `make run` builds and starts the program; `make test` builds and
# runs every test. Both install the Debian packages they need first.
BUILD := build
SAN_BUILD := build-sanitize
JOBS := 2

.PHONY: all deps build run test test-sanitize clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/app/plok_time

# Everything: the unit, rendering and end-to-end tests, then the in-process
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test: build
	ctest --test-dir $(BUILD) --output-on-failure
	@$(MAKE) --no-print-directory test-sanitize

test-sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPLOK_SANITIZE=ON >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS)
	ctest --test-dir $(SAN_BUILD) -L unit --output-on-failure

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
