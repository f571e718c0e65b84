# The README's two commands: `make demo` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: demo test check deps build sanitize bench clean

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: deps $(BUILD)/build.ninja
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/run-demo $(BUILD)

# The suite on the normal build, then again built with AddressSanitizer and
# UndefinedBehaviorSanitizer (what CI runs).
test: check sanitize

# The suite on the normal build only (the quick loop while developing).
check: build
	@scripts/run-tests $(BUILD)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	@$(MAKE) --no-print-directory check BUILD=build-asan CMAKE_FLAGS=-DPENVORA_SANITIZE=ON

bench: deps
	@bench/run

clean:
	rm -rf build build-asan build-release
