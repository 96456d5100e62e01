# Thin wrapper over the CMake presets; every target installs missing Debian packages first.
#   make run     build and start the window program over a freshly generated sample tree
#   make test    build and run the whole test suite
#   make asan    the suite under AddressSanitizer + UndefinedBehaviorSanitizer
#   make tsan    the Qt-free suite under ThreadSanitizer
#   make package the Debian package, build/default/quorvel_<version>_<arch>.deb
WERROR := $(if $(CI),ON,OFF)
SAMPLE := build/sample

.PHONY: all build run test asan tsan screenshots package clean

all: build

build:
	scripts/install-deps.sh build
	cmake --preset default -DQUORVEL_WERROR=$(WERROR)
	cmake --build --preset default

run: build
	rm -rf $(SAMPLE) && build/default/scripts/quorvel-make-sample $(SAMPLE)
	cd $(SAMPLE) && ../default/app/quorvel

test:
	scripts/install-deps.sh test
	cmake --preset default -DQUORVEL_WERROR=$(WERROR)
	cmake --build --preset default
	ctest --preset default

asan:
	scripts/install-deps.sh test
	cmake --preset asan -DQUORVEL_WERROR=$(WERROR)
	cmake --build --preset asan
	ctest --preset asan

tsan:
	scripts/install-deps.sh test
	cmake --preset tsan -DQUORVEL_WERROR=$(WERROR)
	cmake --build --preset tsan
	ctest --preset tsan

screenshots: build
	scripts/install-deps.sh screenshots
	scripts/screenshots.sh

package: build
	scripts/install-deps.sh package
	cd build/default && cpack -G DEB

clean:
	rm -rf build
