# Set-up and everyday commands. `make run` and `make test` install what is missing and build first.
# SANITIZE=1 builds and tests in build-asan with AddressSanitizer and UndefinedBehaviorSanitizer.
ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-asan
CMAKE_ARGS += -DIOT_SANITIZE=ON
export ASAN_OPTIONS ?= detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS ?= halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/scripts/lsan.supp
endif
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
NODE ?= lorawan
DEB_PACKAGES := cmake ninja-build g++ pkg-config qtbase5-dev libqt5serialport5-dev libssl-dev libcpp-httplib-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test bench package clean

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

run: build
	scripts/run-demo $(BUILD_DIR) $(NODE)

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure --timeout 600

bench: build
	scripts/bench $(BUILD_DIR)

# The Debian package (iot-commission_<version>_<arch>.deb in the build directory); production packages are
# built with the firmware's key: make package CMAKE_ARGS=-DNODE_KEY=<32 hex digits> BUILD_DIR=build-release
# dpkg-shlibdeps (dpkg-dev) and file work out the package's dependencies.
package: EXTRA_PACKAGES += dpkg-dev file
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)
