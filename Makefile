# Thin front end over CMake.
#   make              build build/recsift (release with debug info)
#   make test         configure, build and run every test
#   make example      build and run the bundled example job
#   make install      install under PREFIX (default /usr/local): program, message file, manual
#                     pages, README and examples
#   make package      build the Debian package $(BUILD)/recsift_VERSION_ARCH.deb
#   SANITIZE=1        any of the above with AddressSanitizer and UndefinedBehaviorSanitizer
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

ifeq ($(SANITIZE),1)
BUILD := build-sanitize
CMAKE_FLAGS := -DRECSIFT_SANITIZE=ON
else
BUILD := build
CMAKE_FLAGS :=
endif

.PHONY: all build test example install package clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

example: build
	@cd examples && ./run.sh ../$(BUILD)/recsift

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf build build-sanitize
