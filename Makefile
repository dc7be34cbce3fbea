# The two commands a newcomer needs: `make run` and `make test`; for the
# Windows program, `make test-windows` and `make package-windows`.
BUILD ?= build
GENERATOR ?= Ninja

.PHONY: all help deps deps-run configure build test run package test-windows package-windows clean

all: build

help:
	@echo "make run              install what building needs, build the program, start it"
	@echo "make test             install the test tools too, build everything, run every test"
	@echo "make build            install what building needs, build the program into $(BUILD)/"
	@echo "make package          the Debian package, in build-deb/"
	@echo "make test-windows     cross-build for 64- and 32-bit Windows and test under Wine"
	@echo "make package-windows  the Windows zip and MSI"
	@echo "make deps | deps-run  install the missing Debian packages (all, or only to build and run)"
	@echo "make clean            remove $(BUILD)/, build-deb/, $(WINBUILD)/ and $(WINBUILD)32/"

# Building and running need far fewer packages than the tests.
deps-run:
	@tools/install-deps.sh --run

deps:
	@tools/install-deps.sh

# Configured once; after that the build re-runs cmake itself whenever a CMakeLists.txt
# changes, or packages were installed while something optional was missing (see
# CMakeLists.txt), so a plain `make` does not configure (and print the configure output) again.
configure: deps-run
	@if [ ! -f $(BUILD)/build.ninja ] && [ ! -f $(BUILD)/Makefile ]; then \
		cmake -S . -B $(BUILD) -G "$(GENERATOR)"; \
	fi

build: configure
	@cmake --build $(BUILD)

test: deps build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

# The display is checked first: without one, installing and building would be wasted.
# Running needs the program alone, not the tests.
run:
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "make run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); run it in a desktop session, or under a virtual display: tools/install-deps.sh xvfb xauth && xvfb-run -a make run" >&2; \
		exit 1; \
	fi
	@$(MAKE) --no-print-directory configure
	@cmake --build $(BUILD) --target velmora
	@$(BUILD)/bin/velmora

# The package is built with the /usr prefix in a folder of its own.
package: deps
	@if [ ! -f build-deb/build.ninja ] && [ ! -f build-deb/Makefile ]; then \
		cmake -S . -B build-deb -G "$(GENERATOR)" -DCMAKE_INSTALL_PREFIX=/usr \
			-DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF; \
	fi
	@cmake --build build-deb --target package

# Windows: cross-built with mingw-w64 against a Qt built once from Debian's
# source (cached outside the clone), tested under Wine: the 64-bit program in
# a 64-bit prefix, then the 32-bit one (for a 32-bit Excel's prefix) in a 32-bit one.
WINBUILD ?= build-win

test-windows:
	@tools/windows/test-windows.sh $(WINBUILD)
	@VELMORA_WIN_ARCH=i686 tools/windows/test-windows.sh $(WINBUILD)32

package-windows:
	@tools/windows/package-windows.sh $(WINBUILD)
	@VELMORA_WIN_ARCH=i686 tools/windows/package-windows.sh $(WINBUILD)32

clean:
	rm -rf $(BUILD) build-deb $(WINBUILD) $(WINBUILD)32
