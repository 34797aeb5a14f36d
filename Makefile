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
