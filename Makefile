# Two entry points: `make demo` runs the main job, `make test` runs every test.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps configure build demo test bench clean

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

bench: build
	@cd $(BUILD) && ./bench/kivbench

clean:
	rm -rf $(BUILD)
