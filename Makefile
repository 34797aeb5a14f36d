# The two commands a newcomer needs: `make demo` and `make check`.
# Every build goes through a preset of CMakePresets.json, so the Makefile, an
# IDE and Visual Studio configure alike. Each preset builds in a folder of its
# own: build (default), build-asan, build-win (windows-cross), build-fuzz and
# build-bench. `cmake --workflow --preset default` builds and tests without make.
JOBS ?= 2
# The extra checks say when they are skipped because their tool is missing
# (scripts/install-deps installs them all).
FUZZ_SECONDS ?= 30
# make fuzz-long: each fuzz target this long (an hour), for a deeper search
# than make check's; not part of make check.
FUZZ_LONG_SECONDS ?= 3600
# make demo VIA=tds: the same demo through FreeTDS and the test database's TDS server
VIA ?= odbc

.PHONY: all deps build check demo clean package fuzz-long soak
.PHONY: check-tests check-asan check-windows check-fuzz check-valgrind check-package

all: build

deps:
	@bash scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

check: check-tests check-asan check-windows check-fuzz check-valgrind check-package

# Unit, test-database and end-to-end tests of the normal build (ctest -L unit,
# -L testdb, -L e2e pick one kind).
check-tests: build
	ctest --preset default -j $(JOBS)

check-asan: deps
	@bash scripts/check-asan build-asan $(JOBS)

# Its scenarios under wine take their set-up tools from the normal build.
check-windows: build
	@bash scripts/check-windows build-win $(JOBS) build

check-fuzz: deps
	@bash scripts/check-fuzz build-fuzz $(FUZZ_SECONDS) $(JOBS)

fuzz-long: deps
	@bash scripts/check-fuzz build-fuzz $(FUZZ_LONG_SECONDS) $(JOBS)

# A long randomized soak of lost links (not part of check): SOAK_RUNS runs of
# 300 bookings on each database path.
SOAK_RUNS ?= 1000
soak: build
	@bash scripts/soak build $(SOAK_RUNS)

check-valgrind: build
	@bash scripts/check-valgrind build

# The Debian package of the normal build and the ZIP of the Windows build.
package: build
	@bash scripts/package build build-win $(JOBS)

check-package: package
	@bash scripts/check-package build build-win

demo: build
	@bash scripts/demo build $(VIA)

clean:
	rm -rf build build-asan build-win build-fuzz build-bench

# Speed and memory of a run against the floor of its statements (bench/run),
# built as Release in a folder of its own. Lanes: the test database's own
# driver (odbc), and FreeTDS with the TDS server answering at once (tds:0),
# half a millisecond late, a LAN's round trip (tds:0.5), or 20 ms late over
# 100 Mbit/s, a hosted server's link (tds:20/100); the tds lanes run the sizes
# up to BENCH_TDS_MAX.
BENCH_SIZES ?= 10000 100000 1000000
BENCH_LANES ?= odbc tds:0 tds:0.5 tds:20/100
BENCH_TDS_MAX ?= 100000
.PHONY: bench
bench: deps
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	BENCH_LANES="$(BENCH_LANES)" BENCH_TDS_MAX="$(BENCH_TDS_MAX)" bash bench/run build-bench $(BENCH_SIZES)
