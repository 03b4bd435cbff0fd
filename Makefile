# Front door: every target first makes sure the Debian packages are there.
#   make demo            build and run examples/tour.lsp
#   make check           build and run every test (SANITIZE=1: address+UB sanitizers)
#   make bench           build optimised and run the benchmarks
#   make coverage        run every test on a gcov build; line coverage of the
#                        object model and the engine (build-cov/coverage.txt)
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

.PHONY: all deps configure build demo check bench coverage install clean

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

COVERED = --filter 'msxml/' --filter 'model/' --filter 'platform/msxml6/'
coverage:
	@scripts/install-deps --coverage
	@cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DQUILL_COVERAGE=ON -DQUILL_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-cov -j $(JOBS)
	@find build-cov -name '*.gcda' -delete
	-cd build-cov && ctest -j $(JOBS) --timeout 1200 >ctest.log
	@gcovr -r . $(COVERED) --exclude-throw-branches build-cov | tee build-cov/coverage.txt | tail -n 30

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf build build-asan build-bench build-cov
