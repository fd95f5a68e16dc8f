# Everything a fresh Debian 12 machine needs, installed on first use.
PACKAGES := cmake g++ make qt6-base-dev libgtest-dev
BUILD    ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS     ?= $(shell nproc)
SUDO     := $(if $(filter 0,$(shell id -u)),,sudo)

# `make test SANITIZE=1`: the same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
# g++ 12 misreads std::regex as uninitialized when AddressSanitizer instruments it.
ifeq ($(SANITIZE),1)
BUILD       := build-sanitize
CMAKE_FLAGS += "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -Wno-maybe-uninitialized"
endif

FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60

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

# Runs the classification rules' fuzzer for FUZZ_SECONDS; new inputs go to $(FUZZ_BUILD)/corpus.
.PHONY: fuzz
fuzz: PACKAGES += clang-14 libclang-rt-14-dev
fuzz: deps
	CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPALLIMOR_BUILD_APP=OFF -DPALLIMOR_FUZZ=ON \
	  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
	cmake --build $(FUZZ_BUILD) --target rules_fuzz -j $(JOBS)
	mkdir -p $(FUZZ_BUILD)/corpus
	$(FUZZ_BUILD)/tests/fuzz/rules_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  $(FUZZ_BUILD)/corpus tests/fuzz/corpus

clean:
	rm -rf $(BUILD)
