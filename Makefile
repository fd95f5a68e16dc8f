# Everything a fresh Debian 12 machine needs, installed on first use.
PACKAGES := cmake g++ make qt6-base-dev libgtest-dev
BUILD    ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS     ?= $(shell nproc)
SUDO     := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: all deps build test run clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:" $$missing; \
	  $(SUDO) apt-get -o DPkg::Lock::Timeout=900 update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY$$QT_QPA_PLATFORM" ]; then \
	  echo "No display found: start Pallimor from a desktop session, or give it a virtual"; \
	  echo "display with 'xvfb-run make run' (Debian package xvfb)."; \
	  exit 1; \
	fi
	$(BUILD)/src/app/pallimor

# The figures of the README's Performance section; the files go next to the build.
.PHONY: bench
bench: build
	$(BUILD)/bench/pallimor_bench --dir $(BUILD)/bench-files

clean:
	rm -rf $(BUILD)
