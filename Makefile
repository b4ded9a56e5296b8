# Entry points for newcomers and CI. `make test` and `make run` install what is missing first.
PACKAGES := cmake ninja-build g++ pkg-config dpkg-dev file \
            qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev \
            libcli11-dev nlohmann-json3-dev xvfb xauth fonts-dejavu-core fonts-liberation2

PRESET ?= default
CMAKE_FLAGS := $(if $(SUITE_WERROR),-DSUITE_WERROR=$(SUITE_WERROR))

.PHONY: all deps configure build test run bench package clean

all: build

deps:
	@scripts/ensure-packages $(PACKAGES)

configure: deps
	cmake --preset $(PRESET) $(CMAKE_FLAGS)

build: configure
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

run: build
	@scripts/run-demo

package: build
	cd build && cpack

bench: build
	LD_LIBRARY_PATH=build/sim build/bench/download_benchmark

clean:
	rm -rf build build-asan
