# make run   install what is missing, build, start Tarvex
# make test  install what is missing, build, run every test
# make bench build and run the benchmarks
# make package  build the Debian package build/tarvex_<version>_<arch>.deb

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo

.PHONY: all deps build run test bench package clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null
	@cmake --build $(BUILD_DIR)

run: build
	@scripts/run.sh

test: build
	@scripts/test.sh

bench: build
	@scripts/install-deps.sh bench
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

package: build
	@cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)
