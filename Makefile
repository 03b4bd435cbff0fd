# Front door: every target first makes sure the Debian packages are there.
#   make demo            build what the tour needs and run examples/tour.lsp
#   make check           build and run every test (SANITIZE=1: address+UB sanitizers,
#                        SANITIZE=thread: the thread sanitizer)
#   make bench           build optimised and run the benchmarks
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

.PHONY: all deps configure build demo check bench install clean

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

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf build build-asan build-tsan build-bench
