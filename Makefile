# Single entry point. `make test` installs what is missing, builds and runs every test;
# `make run` starts the program; `make bench` runs the benchmarks; `make package` builds the
# Debian package $(BUILD)/reelnook_<version>_<arch>.deb.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ifeq ($(CI),true)
  CMAKE_FLAGS += -DREELNOOK_WERROR=ON
endif

# GUI tests and the program need a display; without one they run under a virtual one.
ifeq ($(strip $(DISPLAY)$(WAYLAND_DISPLAY)),)
  WITH_DISPLAY = xvfb-run -a -s "-screen 0 1920x1080x24"
else
  WITH_DISPLAY =
endif

.PHONY: deps configure build test bench run package clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && $(WITH_DISPLAY) ctest --output-on-failure -j $(JOBS)

bench: build
	$(WITH_DISPLAY) bash bench/run.sh $(BUILD)

package: build
	cmake --build $(BUILD) --target package

run: build
	bash scripts/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
