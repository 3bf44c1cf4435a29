# make demo   set up, build, and run the main job
# make test   set up, build, and run every test
# make check  sanitizers, fuzzing, stress and the audio-thread guard (long)
# make bench  set up, build, and run the benchmarks
BUILD_DIR ?= build
JOBS ?= 2

.PHONY: all setup configure build test check demo bench clean

all: build

setup:
	@bash tools/install-deps.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

# The sanitizers, fuzzing, stress at scale and the audio-thread guard (tools/check.sh).
check:
	@bash tools/install-deps.sh --check
	@bash tools/check.sh

# Only what it runs: the host and its module, not the test programs.
demo: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target nivolo-host nivolo
	@./$(BUILD_DIR)/nivolo-host measure --editor $(BUILD_DIR)/editor.png --plot $(BUILD_DIR)/loudness.png

bench: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target nivolo_bench nivolo_compare
	@./$(BUILD_DIR)/nivolo_bench
	@./$(BUILD_DIR)/nivolo_compare

clean:
	rm -rf $(BUILD_DIR)
