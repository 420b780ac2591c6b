# make run   install what is missing, build, start Tarvex
# make test  install what is missing, build, check the format, run every test, run the core tests
#            under ThreadSanitizer (build-tsan/), replay the fuzz corpora
# make bench build and run the benchmarks
# make fuzz  build the fuzz harnesses (clang) and fuzz each for FUZZ_SECONDS (default 60)
# make package  build the Debian package build/tarvex_<version>_<arch>.deb

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60

.PHONY: all deps build run test bench fuzz package clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null
	@cmake --build $(BUILD_DIR)

run: build
	@scripts/run.sh

test: build
	@scripts/format-check.sh
	@scripts/test.sh
	@scripts/tsan.sh
	@scripts/fuzz.sh replay

fuzz: deps
	@scripts/fuzz.sh run $(FUZZ_SECONDS)

bench: build
	@scripts/install-deps.sh bench
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done
	@bench/startup_ab.sh 11 $(BUILD_DIR)/src/tarvex

package: build
	@cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) build-fuzz build-tsan
