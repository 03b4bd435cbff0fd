# Front door: every target first makes sure the Debian packages are there.
#   make demo            build what the tour needs and run examples/tour.lsp
#   make check           build and run every test (SANITIZE=1: address+UB sanitizers,
#                        SANITIZE=thread: the thread sanitizer)
#   make bench           build optimised and run the benchmarks
#   make fuzz-lisp       random Lisp calls under the sanitizers (LISP_FUZZ_CALLS,
#                        LISP_FUZZ_SEED, LISP_FUZZ_BATCH, LISP_FUZZ_TRACE)
#   make coverage        run every test on a gcov build; line coverage of the
#                        object model and the engine (build-cov/coverage.txt)
#   make fuzz            build the fuzz targets (clang) and run each FUZZ_SECONDS (60)
#   make install PREFIX=/some/where
SANITIZE ?= 0
PREFIX   ?= /usr/local
JOBS     ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD ?= build-asan
override CMAKE_FLAGS += -DQUILL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else ifeq ($(SANITIZE),thread)
BUILD ?= build-tsan
override CMAKE_FLAGS += -DQUILL_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
else
BUILD ?= build
endif

.PHONY: all deps configure build demo check bench coverage fuzz fuzz-lisp install clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The tour needs the module, the engine, the host and quill-lisp, nothing
# of the tests or benchmarks: a newcomer sees it in a couple of minutes.
DEMO_TARGETS := quillxml msxml6 quillhost quill-lisp

demo: configure
	@cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	$(BUILD)/bin/quill-lisp examples/tour.lsp

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

bench:
	@scripts/install-deps --bench
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUILL_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@bench/run build-bench

# A million random calls of the module's Lisp functions, with leak checks, in
# batches of LISP_FUZZ_BATCH calls whose seeds count up from LISP_FUZZ_SEED.
LISP_FUZZ_CALLS ?= 1000000
LISP_FUZZ_SEED  ?= 1
LISP_FUZZ_BATCH ?= 1000
FUZZ_LIBS = build-asan/tests/lisp
fuzz-lisp:
	@$(MAKE) --no-print-directory build SANITIZE=1
	ASAN_OPTIONS=detect_stack_use_after_return=0:detect_leaks=1 QUILL_AUTOMATION_LOG= \
	LISP_FUZZ_CALLS=$(LISP_FUZZ_CALLS) LISP_FUZZ_SEED=$(LISP_FUZZ_SEED) LISP_FUZZ_BATCH=$(LISP_FUZZ_BATCH) \
	build-asan/bin/quill-lisp --module $(FUZZ_LIBS)/libquilltest.so --module $(FUZZ_LIBS)/libquillxmlprobe.so \
	  tests/lisp/call-fuzz.lsp --eval '(quill-fuzz:main)'
# Anchored, so that tests/unit/msxml/ is not counted as the module.
COVERED = --filter '^msxml/' --filter '^model/' --filter '^platform/msxml6/'
coverage:
	@scripts/install-deps --coverage
	@cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DQUILL_COVERAGE=ON -DQUILL_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-cov -j $(JOBS)
	@find build-cov -name '*.gcda' -delete
	-cd build-cov && ctest -j $(JOBS) --timeout 1200 >ctest.log
	@gcovr -r . $(COVERED) --exclude-throw-branches --gcov-ignore-parse-errors build-cov | tee build-cov/coverage.txt | tail -n 30
fuzz:
	@scripts/install-deps --fuzz
	@FUZZ_SECONDS=$(or $(FUZZ_SECONDS),60) JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" scripts/fuzz

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf build build-asan build-tsan build-bench build-cov build-fuzz
