# The two commands a newcomer needs: `make run` and `make test`.
BUILD ?= build
GENERATOR ?= Ninja

.PHONY: all deps configure build test run package clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G $(GENERATOR)

build: configure
	@cmake --build $(BUILD)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "make run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); run it in a desktop session, or under Xvfb: xvfb-run -a make run"; \
		exit 1; \
	fi
	@$(BUILD)/bin/velmora

package: build
	@cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD)
