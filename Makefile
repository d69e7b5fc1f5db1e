# Entry points: `make demo` runs the main job, `make test` runs every test, `make test-san` runs
# every test again in a second tree built with the address and undefined-behaviour sanitizers
# (build-san/). All of them first install what is
# missing (tools/install-deps), including, where the machine cannot run i386 programs, the
# user-mode emulator that runs them.
BUILD ?= build
BUILD_SAN ?= build-san
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

.PHONY: all deps configure build demo test test-emulated build-san test-san san-note bench clean

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

# Under the emulator the sanitized programs get a 3 GB address space, leak checking off and a
# smaller quarantine from tools/i386-run, which says why; natively they run with the defaults.
# SAN_ONLY: names of tests as `ctest -N` lists them, e.g. SAN_ONLY="fuzz_gl growth reference_fast", to
# build and run there: only the programs they run are built (tools/test-targets), and a test that
# runs no test program of its own builds the whole tree. All of them without it.
SAN_ONLY ?=
build-san: deps $(BUILD_SAN)/build.ninja
	@targets="$(if $(strip $(SAN_ONLY)),$$(tools/test-targets $(BUILD_SAN) $(SAN_ONLY)),all)" && \
	    cmake --build $(BUILD_SAN) -j $(JOBS) --target $$targets

san-note:
	@if [ "$${KIV_EMULATE:-0}" != 1 ] && [ "$$(tools/i386-mode)" = native ]; then \
	    echo "test-san: every test in $(BUILD_SAN)/ checked for memory errors, leaks and undefined behaviour"; \
	else \
	    echo "test-san: every test in $(BUILD_SAN)/ checked for memory errors and undefined behaviour; not for leaks, which the leak checker cannot see under the emulator (tests/growth watches the heap in the plain build)"; \
	fi

empty :=
space := $(empty) $(empty)
test-san: build-san san-note
	@cd $(BUILD_SAN) && ../tools/run-ctest --output-on-failure -j $(JOBS) $(if $(strip $(SAN_ONLY)),-R '^($(subst $(space),|,$(strip $(SAN_ONLY))))$$')

bench: configure
	@cmake --build $(BUILD) -j $(JOBS) --target kivbench
	@cd $(BUILD) && $(RUN) ./bench/kivbench

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD)-subproject $(BUILD_SAN)-subproject
