# Set-up and everyday commands. `make run` and `make test` install what is missing and build first.
# `make test` runs the suite in three lanes (scripts/test-lanes): plain, then again with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan), then the link, unit and engine tests with ThreadSanitizer (build-tsan);
# LANES=plain runs only the first. SANITIZE=1 builds in build-asan and tests only the sanitizer lane there.
# `make fuzz` builds the fuzz targets with clang in build-fuzz and runs each for FUZZ_SECONDS.
LANES ?= plain asan tsan
ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-asan
CMAKE_ARGS += -DIOT_SANITIZE=ON
LANES := asan
export ASAN_BUILD_DIR := $(BUILD_DIR)
export ASAN_OPTIONS ?= detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS ?= halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/scripts/lsan.supp
endif
BUILD_DIR ?= build
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_FLAGS := -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
JOBS ?= $(shell nproc)
NODE ?= lorawan
DEB_PACKAGES := cmake ninja-build g++ pkg-config qtbase5-dev libqt5serialport5-dev libssl-dev libcpp-httplib-dev libqt5sql5-sqlite libqt5sql5-psql \
    qttools5-dev-tools qttools5-dev libqt5charts5-dev poppler-utils postgresql postgresql-common \
    libqrencode-dev zbar-tools qtmultimedia5-dev libqt5multimedia5-plugins
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test bench fuzz package clean

all: build

deps:
	@missing=""; for p in $(DEB_PACKAGES) $(EXTRA_PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	else echo "All build packages are present."; fi

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_ARGS)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The demo needs only the tool, the simulator and the local server; the tests, fuzz targets and benchmarks are
# left for `make test` and `make bench`, so the first window appears as soon as these three are built.
DEMO_TARGETS := iot_commission nodesim orva-testserver
run: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS) --target $(DEMO_TARGETS)
	scripts/run-demo $(BUILD_DIR) $(NODE)

test: build
	PLAIN_BUILD_DIR=$(BUILD_DIR) JOBS=$(JOBS) scripts/test-lanes $(LANES)

# libFuzzer comes with clang's runtime libraries.
fuzz: EXTRA_PACKAGES += clang libclang-rt-14-dev
fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DIOT_FUZZ=ON -DCMAKE_CXX_FLAGS="$(FUZZ_FLAGS)"
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_targets
	tests/fuzz/run-fuzz $(FUZZ_DIR) $(FUZZ_SECONDS)

bench: build
	scripts/bench $(BUILD_DIR)

# The Debian package (iot-commission_<version>_<arch>.deb in the build directory); production packages are
# built with the firmware's key: make package CMAKE_ARGS=-DNODE_KEY=<32 hex digits> BUILD_DIR=build-release
# A package with the development key is refused before anything is built, unless ALLOW_DEVELOPMENT_KEY=1
# (its version then ends in +devkey). dpkg-shlibdeps (dpkg-dev) and file work out the package's dependencies.
ALLOW_DEVELOPMENT_KEY ?= 0
package: EXTRA_PACKAGES += dpkg-dev file
package: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_ARGS) \
	    -DALLOW_DEVELOPMENT_KEY=$(if $(filter 1,$(ALLOW_DEVELOPMENT_KEY)),ON,OFF)
	cmake -P $(BUILD_DIR)/PackageKeyCheck.cmake
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)
