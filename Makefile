# Entry points: `make` builds, `make test` installs missing packages, builds and
# runs the suite in a normal and in a sanitizer build, `make demo` runs the tool
# on the bundled samples, `make bench` runs the benchmarks, `make install` and
# `make deb` install it like any Linux tool.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
DEB_BUILD ?= build-deb

WIN_BUILD ?= build-win32

# `make install PREFIX=/opt/zarn DESTDIR=/tmp/stage`: where the files go, and a
# staging root in front of it (for packagers).
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps build build-asan test test-threads demo bench fuzz memcheck install deb windows \
        windows-dist test-windows format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_SANITIZE=ON \
	    -DZARN_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# zarn-match's threads under ThreadSanitizer: the matcher's tests and the
# program's, which run it with several threads.
test-threads: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_SANITIZE_THREADS=ON \
	    -DZARN_BUILD_BENCH=OFF -DZARN_BUILD_TOOLS=OFF -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target match_tests zarn-match
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) \
	    -R '^(ZarnMatch|Shortlist|Parallel|TemplateFile|Calibration)'

demo: build
	scripts/demo.sh $(BUILD)

bench: build
	scripts/bench.sh $(BUILD)

# The programs, the engine with its headers, pkg-config file and CMake package,
# and the man pages, under $(DESTDIR)$(PREFIX).
# Installed for real (no DESTDIR) as root, the linker's cache learns of the
# engine, so programs linked against it find it in /usr/local/lib too.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD)
	@if [ -z "$(DESTDIR)" ] && [ "$$(id -u)" -eq 0 ]; then ldconfig; fi

# $(DEB_BUILD)/zarn_<version>_amd64.deb: the same files under /usr, from a build
# of its own that holds only what the package ships.
deb: deps
	scripts/install-deps.sh package
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	    -DZARN_BUILD_TESTS=OFF -DZARN_BUILD_BENCH=OFF -DZARN_BUILD_TOOLS=OFF
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB
	@ls $(DEB_BUILD)/zarn_*.deb

# Each fuzz target runs FUZZ_SECONDS (default 60); any finding fails the run.
FUZZ_SECONDS ?= 60
fuzz: build
	scripts/install-deps.sh fuzz
	scripts/fuzz.sh build-fuzz $(BUILD) $(FUZZ_SECONDS)

# The end-to-end suite with every run of the tool under valgrind's memcheck.
MEMCHECK = valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite
memcheck: build
	scripts/install-deps.sh memcheck
	ZARN_TEST_TOOL_WRAPPER="$(MEMCHECK)" ctest --test-dir $(BUILD) --output-on-failure \
	    -R 'CommandLine|CreateTemplate|DefaultEngine|HostileCorpus'

# The 32-bit Windows tool and engine, cross-compiled: $(WIN_BUILD)/zarn-cli.exe
# and $(WIN_BUILD)/zarn.dll, the test engine in $(WIN_BUILD)/test-engine/.
windows:
	scripts/install-windows-deps.sh
	JOBS=$(JOBS) scripts/build-boost-mingw.sh $(WIN_BUILD)
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
	    -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN_BUILD) -j $(JOBS)

# $(WIN_BUILD)/zarn-<version>-win32.zip: the exe, the DLL, the licence and how
# to use them, for Windows users.
windows-dist: windows
	scripts/install-deps.sh windows-dist
	scripts/windows-dist.sh $(WIN_BUILD)

# The end-to-end suite, built natively, against the Windows build under Wine.
# Wine's 32-bit loader runs natively where the host can, else under qemu;
# ZARN_WINE=qemu (in the environment) forces the qemu path. Where Wine cannot
# be installed (a registry in trouble) the suite is skipped with one line that
# says why; ZARN_REQUIRE_WINDOWS=1 makes that a failure.
test-windows: build windows
	scripts/test-windows.sh $(BUILD) $(WIN_BUILD)

format:
	find cli enroll output util engine tests bench tools fuzz \
	    -name '*.cpp' -o -name '*.h' -o -name '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(DEB_BUILD) $(WIN_BUILD)
