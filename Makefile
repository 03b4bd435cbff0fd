# Front door: every target first makes sure the Debian packages are there.
#   make demo            build and run examples/tour.lsp
#   make check           build and run every test (SANITIZE=1: address+UB sanitizers)
#   make bench           build optimised and run the benchmarks
#   make fuzz            build the fuzz targets (clang) and run each FUZZ_SECONDS (60)
#   make install PREFIX=/some/where
SANITIZE ?= 0
PREFIX   ?= /usr/local
JOBS     ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD ?= build-asan
override CMAKE_FLAGS += -DQUILL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else
BUILD ?= build
endif

.PHONY: all deps configure build demo check bench fuzz install clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/bin/quill-lisp examples/tour.lsp

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

bench:
	@scripts/install-deps --bench
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUILL_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@bench/run build-bench

fuzz:
	@scripts/install-deps --fuzz
	@FUZZ_SECONDS=$(or $(FUZZ_SECONDS),60) JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" scripts/fuzz

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf build build-asan build-bench build-fuzz
