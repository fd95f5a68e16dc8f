# Everything a fresh Debian 12 machine needs, installed on first use.
PACKAGES := cmake g++ make qt6-base-dev libgtest-dev
# The window tests start a private session bus of their own, to read the launcher's signals.
PACKAGES += dbus-daemon
# Checks of the menu entry and metainfo, and what `make package` needs to work out dependencies.
PACKAGES += desktop-file-utils appstream dpkg-dev file
# For `make run`: a font that holds the start button's U+1F5F2, which no font Qt brings along has.
RUN_PACKAGES := fonts-symbola
# For `make run` without a display: a virtual one.
VIRTUAL_DISPLAY_PACKAGES := xvfb xauth
VIRTUAL_SCREEN := -screen 0 1024x768x24
# Only for `make screenshot`: a virtual display, a hand to type and click, a grabber, and fonts
# that hold the banner's U+26A1 and the start button's U+1F5F2.
SCREENSHOT_PACKAGES := $(VIRTUAL_DISPLAY_PACKAGES) xdotool imagemagick fonts-dejavu-core fonts-symbola
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

.PHONY: all deps configure build program test run package catalogue clean

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

# Configured afresh every time, so that PALLIMOR_SEEDS reaches the engine test's timeout.
configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The program alone, so that `make run` does not wait for the tests and the benchmark.
program: configure
	cmake --build $(BUILD) -j $(JOBS) --target pallimor

# The tests' scratch folders go to a temporary folder inside the build, emptied after every run,
# so that a test killed at its timeout or crashed leaves nothing in the system's.
test: build
	rm -rf $(BUILD)/test-tmp && mkdir $(BUILD)/test-tmp
	cd $(BUILD) && { TMPDIR=$$PWD/test-tmp QT_QPA_PLATFORM=offscreen \
	  ctest --output-on-failure -j $(JOBS); status=$$?; rm -rf test-tmp; exit $$status; }

# Without a display the window goes on a virtual one, which says how to see it.
run: program
	@$(MAKE) --no-print-directory deps PACKAGES="$(RUN_PACKAGES)"
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY$$QT_QPA_PLATFORM" ]; then \
	  exec $(BUILD)/src/app/pallimor; \
	fi; \
	$(MAKE) --no-print-directory deps PACKAGES="$(VIRTUAL_DISPLAY_PACKAGES)" && \
	exec xvfb-run --auto-servernum --server-args="$(VIRTUAL_SCREEN)" sh -c ' \
	  echo "No display found: Pallimor runs on the virtual display $$DISPLAY (Xvfb)."; \
	  echo "See it with (Debian package imagemagick):"; \
	  echo "  XAUTHORITY=$$XAUTHORITY import -display $$DISPLAY -window root window.png"; \
	  echo "End it with Ctrl+C."; \
	  exec "$$0"' $(BUILD)/src/app/pallimor

# docs/catalogue.md, written afresh from the catalogue in the code; `make test` checks it.
catalogue: configure
	cmake --build $(BUILD) -j $(JOBS) --target catalogue_table
	$(BUILD)/tools/catalogue_table > $(BUILD)/catalogue.md
	mv $(BUILD)/catalogue.md docs/catalogue.md

package: build
	cmake --build $(BUILD) --target package

.PHONY: screenshot
screenshot: build
	@$(MAKE) --no-print-directory deps PACKAGES="$(SCREENSHOT_PACKAGES)"
	tools/screenshot.sh $(BUILD)/src/app/pallimor docs/window.png

# The same run of the Windows program under Wine.
.PHONY: screenshot-windows
screenshot-windows: windows
	@$(MAKE) --no-print-directory deps PACKAGES="$(SCREENSHOT_PACKAGES) fonts-wqy-microhei"
	tools/screenshot.sh $(WINDOWS_BUILD)/pallimor.exe docs/window-windows.png

# A minute's look at the figures of docs/performance.md; the files go next to the build.
# `make bench-full` is the benchmark's own default, up to 100,000 files, 5 runs each.
BENCH_DEFAULT := --sizes 1000,10000 --runs 3
BENCH_ARGS ?= $(BENCH_DEFAULT)
BENCH_NOTE = $(if $(findstring x$(BENCH_DEFAULT)x,x$(BENCH_ARGS)x), - about a minute on 2 cores)
# Qt wants a private runtime folder, and warns and makes one in /tmp without it; the offscreen
# platform warns at every window it shows. Neither says anything about the figures.
BENCH_RUNTIME = $(CURDIR)/$(BUILD)/bench-runtime
BENCH_ENV = XDG_RUNTIME_DIR=$(BENCH_RUNTIME) QT_LOGGING_RULES=default.warning=false
.PHONY: bench bench-full
bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target pallimor_bench
	@echo "Benchmark: pallimor_bench $(or $(BENCH_ARGS),with its own default)$(BENCH_NOTE)." \
	  "Each size's table shows once that size is done."
	@mkdir -p -m 700 $(BENCH_RUNTIME) && start=$$(date +%s) && \
	  $(BENCH_ENV) $(BUILD)/bench/pallimor_bench --dir $(BUILD)/bench-files $(BENCH_ARGS) && \
	  echo "Benchmark took $$(( $$(date +%s) - start )) s."

bench-full:
	@echo "The full benchmark: 1,000, 10,000 and 100,000 files, 5 runs each; a quarter of an hour" \
	  "or more."
	@$(MAKE) --no-print-directory bench BENCH_ARGS=

clean:
	rm -rf $(BUILD)

# The whole program and its tests built for Windows with mingw-w64 against a static Qt built here
# from Debian's source (tools/build-qt-windows.sh, cached outside the clone), run under Wine.
WINDOWS_PACKAGES := cmake make ninja-build mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 \
                    googletest locales qt6-base-dev xz-utils nsis
WINDOWS_BUILD    ?= build-windows
QT_WINDOWS        = $(shell tools/build-qt-windows.sh --prefix)

.PHONY: deps-windows qt-windows windows test-windows package-windows test-package-windows

deps-windows:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WINDOWS_PACKAGES)"

qt-windows: deps-windows
	tools/build-qt-windows.sh >/dev/null

windows: qt-windows
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja $(CMAKE_FLAGS) \
	  -DCMAKE_TOOLCHAIN_FILE=$(QT_WINDOWS)/lib/cmake/Qt6/qt.toolchain.cmake \
	  -DQT_CHAINLOAD_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake -DQT_HOST_PATH=/usr
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

test-windows: windows
	cd $(WINDOWS_BUILD) && ctest --output-on-failure -j $(JOBS)

# Pallimor-<version>-setup.exe, made by NSIS in $(WINDOWS_BUILD).
package-windows: windows
	cmake --build $(WINDOWS_BUILD) --target windows-installer -j $(JOBS)

# Installs, starts and uninstalls that installer in a fresh Wine prefix on a virtual display.
test-package-windows: package-windows
	@$(MAKE) --no-print-directory deps PACKAGES="xvfb xauth xdotool"
	packaging/test-windows-installer.sh \
	  "$$(ls -t $(WINDOWS_BUILD)/Pallimor-*-setup.exe | head -n 1)"
