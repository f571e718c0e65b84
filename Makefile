# The README's two commands: `make demo` and `make test`.
# Builds are configured by the presets in CMakePresets.json.
PRESET ?= default
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: demo test check deps build sanitize fuzz-smoke format format-check tidy bench clean

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	@cmake --preset $(PRESET) >/dev/null

build: deps $(BUILD)/build.ninja
	@cmake --build --preset $(PRESET) -j $(JOBS)

demo: build
	@scripts/run-demo $(BUILD)

# What CI runs: the formatting check, the suite on the normal build, then
# again built with AddressSanitizer and UndefinedBehaviorSanitizer, then
# each fuzz target for a short fixed time.
test: format-check check sanitize fuzz-smoke

# The suite on the normal build only (the quick loop while developing).
check: build
	@scripts/run-tests $(BUILD)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	@$(MAKE) --no-print-directory check PRESET=sanitize BUILD=build-asan

# Each libFuzzer target (clang, sanitizers) for 15 s.
fuzz-smoke:
	@scripts/fuzz all 15

# Rewrites every tracked C++ file in the committed style.
format: deps
	@git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

# Fails, naming the files, when a tracked C++ file differs from the style.
format-check: deps
	@scripts/check-format

# bugprone and performance checks over the sources (needs a configured build/).
tidy: build
	@scripts/run-tidy $(BUILD)

bench: deps
	@bench/run

clean:
	rm -rf build build-asan build-release build-fuzz
