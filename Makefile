# Entry points on a fresh Debian 12 machine:
#   make demo     build, then run Tolvane_Down against a virtual unit and a local update server
#   make check    build, run every test, then build the tests with ASan + UBSan and run them again,
#                 then build the fuzz harnesses (clang) and run each for CHECK_FUZZ_SECONDS
#   make fuzz     build the fuzz harnesses and run each for FUZZ_SECONDS (default 60)
#   make package  build, then the Debian package build/package/tolvane-down_<version>_<arch>.deb
#   make install  build, then install under PREFIX (default /usr/local); DESTDIR is honoured
#   make soak     build, then RUNS (default 200) update runs with random faults (SEED repeats one)
#   make fault-table  print the table of faults and what the user sees (README.md)
# All install the Debian packages that are missing first.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CHECK_FUZZ_SECONDS ?= 10
JOBS       ?= $(shell nproc)
CMAKE      ?= cmake
CTEST      ?= ctest
CPACK      ?= cpack
PREFIX     ?= /usr/local
RUNS       ?= 200

PACKAGES := cmake make g++ pkg-config qt6-base-dev qt6-webengine-dev libcurl4-openssl-dev \
            libgl-dev python3-pyftpdlib fonts-dejavu-core xvfb xauth x11-utils \
            desktop-file-utils appstream dpkg-dev file clang libclang-rt-14-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build build-asan build-fuzz test test-asan fuzz fuzz-check check demo package \
        install bench soak fault-table format clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	$(CMAKE) --build $(BUILD) -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAVO_SANITIZE=ON

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)

# The tests run headless (tests/CMakeLists.txt also sets QT_QPA_PLATFORM for each test).
test: build
	QT_QPA_PLATFORM=offscreen $(CTEST) --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Leak checking stays off: Qt and fontconfig keep caches until exit that it would report.
test-asan: build-asan
	QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(CTEST) --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The fuzz build holds only the libFuzzer harnesses of tests/fuzz and what they reach.
$(FUZZ_BUILD)/CMakeCache.txt:
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAVO_FUZZ=ON

build-fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
	$(CMAKE) --build $(FUZZ_BUILD) -j $(JOBS)

# Each harness replays its kept crash inputs, then fuzzes for the given time, two at a time.
fuzz: build-fuzz
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) 2

fuzz-check: build-fuzz
	tests/fuzz/run.sh $(FUZZ_BUILD) $(CHECK_FUZZ_SECONDS) 2

# In order, also under make -j: the sanitizer build starts only once the plain tests passed.
check:
	$(MAKE) test
	$(MAKE) test-asan
	$(MAKE) fuzz-check

demo: build
	./scripts/demo.sh $(BUILD)

# The package's dependencies come from dpkg-shlibdeps (dpkg-dev), which needs file.
package: build
	cd $(BUILD) && $(CPACK) -G DEB
	@echo "Install it with: $(SUDO) apt-get install $$(realpath $$(ls -t $(BUILD)/package/*.deb | head -n 1))"

install: build
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(BUILD) --prefix "$(PREFIX)"

bench: build
	$(BUILD)/bin/bench_link
	$(BUILD)/bin/bench_engine
	$(BUILD)/bin/bench_start

soak: build
	RUNS="$(RUNS)" SEED="$(SEED)" ./scripts/soak.sh $(BUILD)

# The fault matrix as the Markdown table of README.md's "Faults and what the user sees".
fault-table: $(BUILD)/CMakeCache.txt
	@$(CMAKE) --build $(BUILD) -j $(JOBS) --target test_fault_matrix >/dev/null
	@$(BUILD)/bin/test_fault_matrix -table

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) run
