# Entry points for newcomers and CI. `make test` and `make run` install what is missing first.
PACKAGES := cmake ninja-build g++ pkg-config dpkg-dev file \
            qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev \
            libcli11-dev nlohmann-json3-dev libftdi1-dev libusb-1.0-0-dev \
            help2man lintian man-db desktop-file-utils appstream apt-utils \
            xvfb xauth fonts-dejavu-core fonts-liberation2

# The Windows core: cross-built with MinGW-w64, tested under 64-bit Wine through its own loader
# (scripts/wine64). Only the 32-bit checks need 32-bit Wine, which is installed only where this
# machine runs 32-bit programs and the archive can install it (its i386 lists lag behind on some
# days): without it they report themselves skipped, and why.
WINDOWS_PACKAGES := cmake ninja-build g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine wine64 libcli11-dev nlohmann-json3-dev \
                    xvfb xauth nsis osslsigncode openssl
WINDOWS_OPTIONAL_PACKAGES := wine32:i386
WINE := env -u DISPLAY WINEPREFIX=$(CURDIR)/build-windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The VM test through QEMU's FTDI chip model: Debian's kernel, busybox and QEMU.
USB_VM_PACKAGES := qemu-system-x86 linux-image-amd64 busybox-static cpio socat

# Fuzzing: clang with libFuzzer.
FUZZ_PACKAGES := clang libclang-rt-dev
FUZZ_SECONDS ?= 60

PRESET ?= default
CMAKE_FLAGS := $(if $(SUITE_WERROR),-DSUITE_WERROR=$(SUITE_WERROR))

.PHONY: all deps configure build test test-native test-asan test-tsan fuzz fuzz-smoke run bench package windows test-windows test-usb-vm mutants clean

all: build

deps:
	@scripts/ensure-packages $(PACKAGES)

configure: deps
	cmake --preset $(PRESET) $(CMAKE_FLAGS)

build: configure
	cmake --build --preset $(PRESET)

# Every test: the suite, the suite again under AddressSanitizer and UBSan (leaks included), and a
# short run of every fuzz target.
test: test-native test-asan fuzz-smoke

# Most tests wait for the virtual printer in real time, so the test presets run four at once.
test-native: build
	ctest --preset $(PRESET)

test-asan: deps
	cmake --preset asan $(CMAKE_FLAGS)
	cmake --build --preset asan
	ctest --preset asan

# The free D2XX library's, the engine's and fwload-cli's tests under ThreadSanitizer: the library's
# reader thread, the close that ends calls on other threads, the signal-driven stops. The station's
# own tests are left out: it is one thread, and its workers are the fwload-cli runs tested here.
# They wait for the virtual printer as the others do, so they too run four at once.
test-tsan: deps
	cmake --preset tsan $(CMAKE_FLAGS)
	cmake --build --preset tsan
	ctest --preset tsan

fuzz: deps
	@scripts/ensure-packages $(FUZZ_PACKAGES)
	cmake --preset fuzz $(CMAKE_FLAGS)
	cmake --build --preset fuzz
	scripts/run-fuzzers $(FUZZ_SECONDS)

fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=10

# What `make run` runs: the programs and the virtual printer, without the tests. It configures only
# a tree that was never configured (the build itself notices changed CMake files).
RUN_TARGETS := fwload fwload-cli sensorpos ribboncap ribbonsense sim_ftd2xx sim_crdprt sim_kx4700 make-demo-firmware

run: deps
	@test -f build/build.ninja || cmake --preset $(PRESET) $(CMAKE_FLAGS)
	cmake --build --preset $(PRESET) --target $(RUN_TARGETS)
	@scripts/run-demo

# A mutation smoke: realistic faults applied one at a time to a scratch copy, with the tests that
# must notice each (not part of CI).
mutants: deps
	scripts/mutants

package: build
	cd build && cpack -B packages
	packaging/apt-repository build/packages/apt build/packages/*.deb
	@echo "An apt repository of these packages: build/packages/apt (deb [trusted=yes] file:$(CURDIR)/build/packages/apt ./)"

bench: build
	LD_LIBRARY_PATH=build/sim:build/sim/usb build/bench/download_benchmark
	LD_LIBRARY_PATH=build/sim:build/sim/usb build/bench/control_wait_benchmark
	LD_LIBRARY_PATH=build/sim build/bench/station_benchmark
	LD_LIBRARY_PATH=build/sim build/bench/station_window_benchmark

# The free D2XX library in a VM, on Debian's libusb and libftdi1 and Linux's USB stack, against
# QEMU's FTDI chip model with the virtual printer behind it (a few minutes; CI runs it).
test-usb-vm: build
	@scripts/ensure-packages $(USB_VM_PACKAGES)
	tests/usbvm/run-vm-tests build

# Both Windows builds with their packages: zips and installers in build-windows*/packages/.
windows:
	@scripts/ensure-packages $(WINDOWS_PACKAGES)
	cmake --preset windows $(CMAKE_FLAGS)
	cmake --build --preset windows --target all windows-packages
	cmake --preset windows-x86 $(CMAKE_FLAGS)
	cmake --build --preset windows-x86 --target all windows-packages
	@ls -l build-windows/packages build-windows-x86/packages

# The 64-bit build's tests under Wine, its installer installed and removed, and a smoke test of the
# 32-bit build under 32-bit Wine.
test-windows: windows
	@scripts/ensure-packages --optional $(WINDOWS_OPTIONAL_PACKAGES)
	mkdir -p build-windows && $(WINE) scripts/wine64 wineboot --init >/dev/null 2>&1 || true
	@# One Wine session for the whole run, on a virtual display for the windows' tests.
	xvfb-run -a -s "-screen 0 1280x1024x24" scripts/wine-ctest build-windows
	$(WINE) tests/fwload/cli/smoke-win32.sh build-windows-x86

clean:
	rm -rf build build-asan build-tsan build-windows build-windows-x86 build-fuzz
