# Set-up and everyday commands. `make run` and `make test` install what is missing and build first.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
NODE ?= lorawan
DEB_PACKAGES := cmake ninja-build g++ pkg-config qtbase5-dev libqt5serialport5-dev libssl-dev libcpp-httplib-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test test-fast bench clean

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

clean:
	rm -rf $(BUILD_DIR)
