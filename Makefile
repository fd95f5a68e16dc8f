# Everything a fresh Debian 12 machine needs, installed on first use.
PACKAGES := cmake g++ make qt6-base-dev libgtest-dev
# Checks of the menu entry and metainfo, and what `make package` needs to work out dependencies.
PACKAGES += desktop-file-utils appstream dpkg-dev file
# Only for `make screenshot`: a virtual display, a hand to type and click, a grabber, and fonts
# that hold the banner's U+26A1 and the start button's U+1F5F2.
SCREENSHOT_PACKAGES := xvfb xauth xdotool imagemagick fonts-dejavu-core fonts-symbola
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

.PHONY: all deps build test run package clean

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

# The figures of the README's Performance section; the files go next to the build.
.PHONY: bench
bench: build
	$(BUILD)/bench/pallimor_bench --dir $(BUILD)/bench-files

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
