# The two commands a newcomer needs: `make demo` and `make check`.
BUILD ?= build
JOBS  ?= 2

.PHONY: all deps build check demo clean

all: build

deps:
	@bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@bash scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD)

# Speed and memory of a run against the floor of its statements (bench/run),
# built as Release in a folder of its own.
BENCH_BUILD ?= build-bench
BENCH_SIZES ?= 10000 100000 1000000
.PHONY: bench
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DDULMAR_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bash bench/run $(BENCH_BUILD) $(BENCH_SIZES)
