# make run   - install missing packages, build, start the program
# make test  - install missing packages and the test servers, build, run every test
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
QRV_TEST_RUNDIR ?= /tmp/qrv-test-servers
export QRV_TEST_RUNDIR

.PHONY: all deps test-deps configure build run test bench clean

all: build

deps:
	@bash scripts/install-deps.sh

test-deps:
	@bash scripts/install-deps.sh --test

configure:
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: deps configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@$(BUILD_DIR)/bin/quorvane

test: test-deps
	@bash scripts/test-servers.sh start
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target $$(cd bench && ls bench_*.cpp | sed 's/\.cpp$$//')

clean:
	@rm -rf $(BUILD_DIR)
