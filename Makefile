# The front door: `make` builds, `make test` builds and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake

.PHONY: all build test test-fast asan-test demo bench windows clean format

all: build

$(BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/CMakeCache.txt
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# Every test: unit, component and end-to-end, then the unit and component
# tests again under the address and undefined-behaviour sanitizers.
test: test-fast asan-test

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTIRVEN_SANITIZE=ON

asan-test: $(ASAN_BUILD)/CMakeCache.txt
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS) --target unit_tests
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

# The program on a fresh copy of the sample configuration.
demo: build
	examples/run_demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-win

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
