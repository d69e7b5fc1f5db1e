# Entry points: `make demo` runs the main job, `make test` runs every test, `make test-san` runs
# every test again in a second tree built with the sanitizers. All of them first install what is
# missing (tools/install-deps), including, where the machine cannot run i386 programs, the
# user-mode emulator that runs them.
BUILD ?= build
BUILD_SAN ?= build-san
BUILD_UBSAN ?= build-ubsan
JOBS  ?= $(shell nproc)
# The compiler cache keys objects by paths relative to the tree, so that a fresh clone or a
# worktree of it elsewhere reuses what this tree compiled.
export CCACHE_BASEDIR := $(abspath $(CURDIR)/..)
export CCACHE_NOHASHDIR := 1
RUN := $(CURDIR)/tools/i386-run
CMAKE_CONFIGURE = cmake -S . -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake
# The tests that CI also runs through the emulator where the machine runs i386 natively: the
# scenes, the window road and the code generator (which writes and runs its own x86 code).
EMULATED_TESTS ?= ^(scenes|gl_program|icd_present|icd_modechange|icd_window|icd_window_edges|zk3_render|icd_codegen.*)$$

.PHONY: all deps configure build demo test test-emulated build-san test-san bench clean

all: build

deps:
	@bash tools/install-deps

$(BUILD)/build.ninja: | deps
	@$(CMAKE_CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

configure: deps $(BUILD)/build.ninja

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The demo needs the platform, the drivers and itself, not the tests.
demo: configure
	@cmake --build $(BUILD) -j $(JOBS) --target kivdemo
	@cd $(BUILD) && $(RUN) ./apps/kivdemo

test: build
	@cd $(BUILD) && ../tools/run-ctest --output-on-failure -j $(JOBS)

test-emulated: build
	@cd $(BUILD) && KIV_EMULATE=1 ../tools/run-ctest --output-on-failure -j $(JOBS) -R '$(EMULATED_TESTS)'

$(BUILD_SAN)/build.ninja: | deps
	@$(CMAKE_CONFIGURE) -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=ON >/dev/null

$(BUILD_UBSAN)/build.ninja: | deps
	@$(CMAKE_CONFIGURE) -B $(BUILD_UBSAN) -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=undefined >/dev/null

# The address and leak sanitizers need a kernel that runs i386 programs itself: under the emulator
# they fail in their own start-up, so there the tree checks undefined behaviour only, and says so.
build-san: deps
	@if [ "$${KIV_EMULATE:-0}" != 1 ] && [ "$$(tools/i386-mode)" = native ]; then \
	    $(MAKE) --no-print-directory $(BUILD_SAN)/build.ninja && cmake --build $(BUILD_SAN) -j $(JOBS); \
	else \
	    $(MAKE) --no-print-directory $(BUILD_UBSAN)/build.ninja && cmake --build $(BUILD_UBSAN) -j $(JOBS); \
	fi

test-san: build-san
	@if [ "$${KIV_EMULATE:-0}" != 1 ] && [ "$$(tools/i386-mode)" = native ]; then \
	    cd $(BUILD_SAN) && ../tools/run-ctest --output-on-failure -j $(JOBS); \
	else \
	    echo "test-san: i386 programs run through the emulator here, where the address and leak sanitizers do not work: this run checks undefined behaviour only ($(BUILD_UBSAN)/); the address and leak sanitizers run only where i386 runs natively"; \
	    cd $(BUILD_UBSAN) && ../tools/run-ctest --output-on-failure -j $(JOBS); \
	fi

bench: configure
	@cmake --build $(BUILD) -j $(JOBS) --target kivbench
	@cd $(BUILD) && $(RUN) ./bench/kivbench

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_UBSAN) $(BUILD)-subproject $(BUILD_SAN)-subproject $(BUILD_UBSAN)-subproject
