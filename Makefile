# The two commands a newcomer needs: `make demo` and `make check`.
BUILD ?= build
JOBS  ?= 2
# The extra checks build in folders of their own; each says when it is skipped
# because its tool is missing (scripts/install-deps installs them all).
ASAN_BUILD   ?= build-asan
WIN_BUILD    ?= build-win
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 30
# make demo VIA=tds: the same demo through FreeTDS and the test database's TDS server
VIA          ?= odbc

.PHONY: all deps build check demo clean
.PHONY: check-tests check-asan check-windows check-fuzz check-valgrind

all: build

deps:
	@bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

check: check-tests check-asan check-windows check-fuzz check-valgrind

# Unit and end-to-end tests of the normal build.
check-tests: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

check-asan: deps
	@bash scripts/check-asan $(ASAN_BUILD) $(JOBS)

# Its scenarios under wine take their set-up tools from the normal build.
check-windows: build
	@bash scripts/check-windows $(WIN_BUILD) $(JOBS) $(BUILD)

check-fuzz: deps
	@bash scripts/check-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS) $(JOBS)

check-valgrind: build
	@bash scripts/check-valgrind $(BUILD)

demo: build
	@bash scripts/demo $(BUILD) $(VIA)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(FUZZ_BUILD)

# Speed and memory of a run against the floor of its statements (bench/run),
# built as Release in a folder of its own.
BENCH_BUILD ?= build-bench
BENCH_SIZES ?= 10000 100000 1000000
.PHONY: bench
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DDULMAR_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bash bench/run $(BENCH_BUILD) $(BENCH_SIZES)
