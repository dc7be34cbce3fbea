# The two commands a newcomer needs: `make run` and `make test`; for the
# Windows program, `make test-windows` and `make package-windows`.
BUILD ?= build
GENERATOR ?= Ninja
PREFIX ?= $(HOME)/.local

.PHONY: all help deps deps-run deps-package configure build test run install uninstall package \
	test-windows package-windows clean

all: build

# What each target installs with apt-get (only what is missing; through sudo when not root).
help:
	@echo "make run              build the program and start it: $(BUILD)/bin/velmora"
	@echo "make build            build the program into $(BUILD)/bin/velmora"
	@echo "                      (both install what building needs: CMake, Ninja, g++, Qt's"
	@echo "                      development files, the Liberation fonts; about 160 MB)"
	@echo "make install          build, then install stripped under PREFIX (now $(PREFIX)):"
	@echo "                      PREFIX/bin/velmora; as root for a system PREFIX such as /usr/local"
	@echo "make uninstall        remove what the last make install put under its PREFIX"
	@echo "make test             build everything and run every test; installs the test tools"
	@echo "                      too (Xvfb, xdotool, openbox, lintian, mingw-w64...; about 350 MB)"
	@echo "make package          the Debian package, build-deb/velmora_7.0-1_amd64.deb; installs"
	@echo "                      what building needs, dpkg-dev and file"
	@echo "make test-windows     cross-build for 64- and 32-bit Windows and test under Wine"
	@echo "make package-windows  the Windows zip and MSI, in this folder; both install mingw-w64,"
	@echo "                      Wine, msitools and osslsigncode, and build a Qt for Windows once"
	@echo "make deps | deps-run  install the missing Debian packages (all, or only to build and run)"
	@echo "make clean            remove $(BUILD)/, build-deb/, $(WINBUILD)/ and $(WINBUILD)32/"

# Building and running need far fewer packages than the tests.
deps-run:
	@tools/install-deps.sh --run

deps:
	@tools/install-deps.sh

deps-package:
	@tools/install-deps.sh --package

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

# Stripped, as the package has it. CMake lists what it installed in
# $(BUILD)/install_manifest.txt, which uninstall removes again, and the program's own folder
# (lib/velmora/ or the like) once it is empty.
install: build
	@cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

uninstall:
	@[ -f $(BUILD)/install_manifest.txt ] || \
		{ echo "make uninstall: nothing installed from $(BUILD)/ (no install_manifest.txt)" >&2; exit 1; }
	@xargs -d '\n' rm -f -- < $(BUILD)/install_manifest.txt
	@sed -n 's|/velmora/velmora$$|/velmora|p' $(BUILD)/install_manifest.txt | \
		xargs -r -d '\n' rmdir --ignore-fail-on-non-empty --
	@rm -f $(BUILD)/install_manifest.txt

# The package is built with the /usr prefix in a folder of its own.
package: deps-package
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
