# Glimmark: `make test` and `make demo` do the whole set-up on a fresh Debian 12.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps configure build test demo studio format bench clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

demo: build
	./scripts/demo.sh $(BUILD)

studio: build
	./$(BUILD)/glimmark-studio examples/showcase.gmk

bench: build
	./bench/run.sh $(BUILD)

format:
	find core shapes language render record app cli tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
