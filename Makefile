# Entry points: `make demo` runs the main job, `make test` runs every test, `make test-san` runs
# every test again in a second tree built with the address, undefined-behaviour and leak
# sanitizers.
BUILD ?= build
BUILD_SAN ?= build-san
JOBS  ?= $(shell nproc)
# The compiler cache keys objects by paths relative to the tree, so that a fresh clone or a
# worktree of it elsewhere reuses what this tree compiled.
export CCACHE_BASEDIR := $(abspath $(CURDIR)/..)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps configure build demo test build-san test-san bench clean

all: build

deps:
	@bash tools/install-deps

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

configure: deps $(BUILD)/build.ninja

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@cd $(BUILD) && ./apps/kivdemo

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(BUILD_SAN)/build.ninja: | deps
	@cmake -S . -B $(BUILD_SAN) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=ON >/dev/null

build-san: deps $(BUILD_SAN)/build.ninja
	@cmake --build $(BUILD_SAN) -j $(JOBS)

test-san: build-san
	@cd $(BUILD_SAN) && ctest --output-on-failure -j $(JOBS)

bench: build
	@cd $(BUILD) && ./bench/kivbench

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
