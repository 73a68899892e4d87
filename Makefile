# The two everyday commands: `make run` and `make test`.
BUILD ?= build
CONFIG ?=
JOBS ?= $(shell nproc)

.PHONY: all deps npm-deps build run editor test bench asan tsan fuzz clean format

all: build

deps:
	@scripts/install-deps.sh
	@$(MAKE) --no-print-directory npm-deps

# jQuery and jQuery UI are embedded into the server at build time from node_modules.
npm-deps:
	@if [ ! -d node_modules ] || [ package-lock.json -nt node_modules ]; then \
	  npm ci --no-audit --no-fund && touch node_modules; fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/lumenvale $(CONFIG)

# Quillon, the configuration editor; it needs a display.
editor: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target quillon
	$(BUILD)/bin/quillon

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	@scripts/install-deps.sh --bench
	@$(MAKE) --no-print-directory npm-deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)
	bench/run_all.sh $(BUILD)

asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMENVALE_SANITIZE=address
	cmake --build build-asan -j $(JOBS)
	cd build-asan && LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan-suppressions.txt:print_suppressions=0 \
	  ctest --output-on-failure -j $(JOBS)

tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMENVALE_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=suppressions=$(CURDIR)/scripts/tsan-suppressions.txt \
	  ctest --output-on-failure -j $(JOBS) -E e2e

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMENVALE_FUZZ=ON
	cmake --build build-fuzz --target fuzzers -j $(JOBS)
	@echo "Fuzz targets are in build-fuzz/bin/fuzz_*; run one as: build-fuzz/bin/fuzz_NAME fuzz/corpus/NAME"

clean:
	rm -rf build build-asan build-tsan build-fuzz

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
