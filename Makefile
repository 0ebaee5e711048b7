# What people type. Each target installs what is missing first where it needs
# to, then drives CMake presets.
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)

.PHONY: all deps build debug demo gallery test test-release test-asan test-tsan bench install clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

debug: deps
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug -j $(JOBS)

demo: build
	@build/bin/trellin demo

# The pictures of docs/controls.md, made again by the program itself.
gallery: build
	@build/bin/trellin gallery docs/controls

test: test-release test-asan test-tsan

test-release: build
	@ctest --preset release -j $(JOBS)

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan -j $(JOBS)

bench: build
	@for b in build/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

install: build
	@cmake --install build --prefix "$(PREFIX)"

clean:
	@rm -rf build build-debug build-asan build-tsan out
