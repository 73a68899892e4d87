# The two everyday commands: `make run` and `make test`; `make package` for Debian packages.
BUILD ?= build
CONFIG ?=
JOBS ?= $(shell nproc)
# What `make run` builds: the programs, without the tests.
PROGRAMS = lumenvale lumenvale_tray quillon

.PHONY: all deps test-deps npm-deps programs build run editor test package bench asan tsan \
  fuzz clean format

all: build

# Building and running only; the tests' packages (GoogleTest, Chromium, Xvfb, clang, the
# package tools) come with test-deps.
deps:
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory npm-deps

test-deps:
	@scripts/install-deps.sh --test
	@$(MAKE) --no-print-directory npm-deps

# jQuery and jQuery UI are embedded into the server at build time from node_modules.
npm-deps:
	@if [ ! -d node_modules ] || [ package-lock.json -nt node_modules ]; then \
	  npm ci --no-audit --no-fund && touch node_modules; fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

programs: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS)

# Configured again, so that GoogleTest installed since `make run` is found.
build: test-deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: programs
	$(BUILD)/bin/lumenvale $(CONFIG)

# Quillon, the configuration editor: its dialog needs a display (quillon --help lists the
# commands that do not).
editor: programs
	$(BUILD)/bin/quillon

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	scripts/package_test.sh $(BUILD)

# lumenvale, lumenvale-tray and quillon (.deb) into $(BUILD)/packages/.
package:
	@scripts/install-deps.sh --package
	@$(MAKE) --no-print-directory npm-deps
	scripts/build-packages.sh $(BUILD)

bench:
	@scripts/install-deps.sh --bench
	@$(MAKE) --no-print-directory npm-deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)
	bench/run_all.sh $(BUILD)

asan: test-deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMENVALE_SANITIZE=address
	cmake --build build-asan -j $(JOBS)
	cd build-asan && LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan-suppressions.txt:print_suppressions=0 \
	  ctest --output-on-failure -j $(JOBS)

tsan: test-deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMENVALE_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=suppressions=$(CURDIR)/scripts/tsan-suppressions.txt \
	  ctest --output-on-failure -j $(JOBS) -E e2e

fuzz: test-deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMENVALE_FUZZ=ON
	cmake --build build-fuzz --target fuzzers -j $(JOBS)
	@echo "Fuzz targets are in build-fuzz/bin/fuzz_*; run one as: build-fuzz/bin/fuzz_NAME fuzz/corpus/NAME"

clean:
	rm -rf build build-asan build-tsan build-fuzz

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
