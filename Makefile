# make demo          set up, build, and run the main job
# make test          set up, build, and run every test
# make check         sanitizers, fuzzing, stress and the audio-thread guard (long)
# make bench         set up, build, and run the benchmarks
# make windows       cross-build nivolo.dll, nivolo-host.exe and the tests for 64-bit Windows
# make test-windows  build them and run the tests under Wine
BUILD_DIR ?= build
WIN_BUILD_DIR ?= build-win
JOBS ?= 2

.PHONY: all setup configure build test check demo bench clean windows test-windows

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
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target nivolo_bench nivolo_compare nivolo_denormal_cost nivolo_batch_speed
	@./$(BUILD_DIR)/nivolo_bench
	@./$(BUILD_DIR)/nivolo_compare
	@./$(BUILD_DIR)/nivolo_denormal_cost
	@./$(BUILD_DIR)/nivolo_batch_speed

# The build runs Windows programs too (the resource packer, test discovery):
# tools/wine-session.sh gives them a running Wine server and prefix.
windows:
	@bash tools/install-deps.sh --windows
	@bash tools/wine-session.sh $(WIN_BUILD_DIR) sh -c '\
	  cmake -S . -B $(WIN_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake > /dev/null && \
	  cmake --build $(WIN_BUILD_DIR) -j$(JOBS)'

test-windows: windows
	@bash tools/wine-session.sh $(WIN_BUILD_DIR) sh -c 'cd $(WIN_BUILD_DIR) && ctest --output-on-failure -j$(JOBS)'

clean:
	rm -rf $(BUILD_DIR) $(WIN_BUILD_DIR)
