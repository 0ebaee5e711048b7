# What people type. Each target installs what is missing first where it needs
# to, then drives CMake presets.
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)
# Tests at once: one more than the processors, as many tests wait on the
# programs they drive (ffmpeg, an X server, a pipeline).
TEST_JOBS ?= $(shell echo $$(( $$(nproc) + 1 )))
# Seconds each fuzz target runs: briefly in make test, longer in make fuzz.
FUZZ_TEST_SECONDS ?= 10
FUZZ_SECONDS ?= 300

.PHONY: all deps deps-windows build debug demo gallery test check test-release test-asan test-tsan test-fuzz fuzz bench soak install package clean format format-check windows test-windows package-windows bench-windows

all: build

deps:
	@tools/install-deps.sh

# The Windows build needs the MinGW-w64 cross compiler and Wine besides.
deps-windows:
	@tools/install-deps.sh --windows

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

# make test: the release build and every test in it, a few minutes on two
# cores. make check (what CI runs): the format check, make test, then the
# whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer and
# the threaded tests under ThreadSanitizer. Every build replays the fuzz
# corpora as tests; the libFuzzer runs themselves (a clang build of their
# own) are make test-fuzz and make fuzz.
test: test-release

check: format-check test-release test-asan test-tsan test-windows

test-release: build
	@ctest --preset release -j $(TEST_JOBS)

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan -j $(JOBS)

# The fuzz targets (clang's libFuzzer, with ASan and UBSan) on their corpus
# in fuzz/corpus/. A crash leaves its input in build-fuzz/fuzz/crashes/; put
# it in the target's corpus folder and it is run by every later make test.
test-fuzz: deps
	@cmake --preset fuzz -DTRELLIN_FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@ctest --preset fuzz -j $(JOBS)

fuzz: deps
	@cmake --preset fuzz -DTRELLIN_FUZZ_SECONDS=$(FUZZ_SECONDS) >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@ctest --preset fuzz -j $(JOBS)

# The fast kernels against the reference ones over thousands of random
# frames (SOAK_CASES, SOAK_SEED); run it for every change to a kernel.
SOAK_CASES ?= 3000
SOAK_SEED ?= $(shell date +%s)
soak: build
	@echo "soak: $(SOAK_CASES) random frames from seed $(SOAK_SEED)"
	@TRELLIN_DIFFERENTIAL_CASES=$(SOAK_CASES) TRELLIN_DIFFERENTIAL_SEED=$(SOAK_SEED) \
	  build/tests/effect_threaded_tests --gtest_filter='*RandomFrames*'

bench: build
	@cmake --build --preset release -j $(JOBS) --target benchmarks
	@for b in build/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

# The tree's C++ in the house style (.clang-format): format rewrites the files,
# format-check lists what differs and fails (CI runs it).
FORMAT_FILES = git ls-files -z '*.cpp' '*.h' '*.hpp' '*.cc'
format: deps
	@$(FORMAT_FILES) | xargs -0 clang-format -i

format-check: deps
	@$(FORMAT_FILES) | xargs -0 clang-format --dry-run -Werror
	@echo "format-check: every C++ file is formatted"

install: build
	@cmake --install build --prefix "$(PREFIX)"

# The Debian package, build/trellin_VERSION_ARCH.deb: everything under /usr
# where Debian's own packages put theirs (package/). Install it with
# sudo apt install ./build/trellin_*.deb.
package: build
	@cmake --build --preset release --target trellin_deb
	@ls build/trellin_*.deb

# The Windows x64 build (MinGW-w64): TrellinVx.node, trellinhost.dll, the
# OpenFX bundle and the frei0r trellin.dll in build-windows/ (docs/windows.md).
windows: deps-windows
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows -j $(JOBS)

# The Windows plug-ins in one zip with a page on where each goes:
# build-windows/trellin-VERSION-windows-x64.zip.
package-windows: windows
	@cmake --build --preset windows --target package_windows

# bench_render built for Windows, under Wine: set it beside make bench's.
bench-windows: windows
	@cmake --build --preset windows -j $(JOBS) --target bench_render
	@WINEPREFIX=$(CURDIR)/build-windows/wine WINEDEBUG=-all wine build-windows/bin/bench_render.exe

# The Windows build's tests under Wine (headless, a Wine prefix in
# build-windows/wine); the frei0r check compares with the Linux build.
test-windows: windows build
	@ctest --preset windows -j $(JOBS)

clean:
	@rm -rf build build-debug build-asan build-tsan build-fuzz build-windows out
