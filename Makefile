# Front door: `make run` and `make test` are the two commands a newcomer needs.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run test bench format demo clean

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/CMakeCache.txt: | deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: deps $(BUILD_DIR)/CMakeCache.txt
	@cmake --build $(BUILD_DIR) -j $(JOBS)

demo: build
	@scripts/make-demo-library $(BUILD_DIR)/demo

run: demo
	@scripts/run-demo $(BUILD_DIR)

test: build
	@scripts/run-tests $(BUILD_DIR)

bench: build
	@scripts/run-benchmarks $(BUILD_DIR)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR)
