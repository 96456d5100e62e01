# Thin wrapper over the CMake presets; every target installs missing Debian packages first.
#   make run     build and start the window program over a generated sample tree
#   make sample  generate the sample tree afresh (uncompressed)
#   make test    build and run the whole test suite
#   make asan    the suite under AddressSanitizer + UndefinedBehaviorSanitizer
#   make tsan    the Qt-free suite under ThreadSanitizer
#   make package the Debian package from the release preset, checked by lintian:
#                build/release/quorvel_<version>_<arch>.deb
#   make fuzz    build the fuzz targets (clang, libFuzzer, ASan + UBSan) and run each for
#                FUZZ_SECONDS (default 60): make fuzz FUZZ_SECONDS=600
#   make windows          quorvel.exe, quorvel-cli.exe and the Qt-free test programs for 64-bit
#                         Windows
#   make windows-test     those tests, the window tests and the batch command's end-to-end test
#                         under Wine, on a virtual display
#   make windows-package  build/windows/quorvel-<version>-windows-x64.zip and the installer
#                         quorvel-<version>-windows-x64.exe, which is then installed, run and
#                         uninstalled under Wine in a fresh prefix
WERROR := $(if $(CI),ON,OFF)
SAMPLE := build/sample
FUZZ_SECONDS ?= 60

.PHONY: all build run sample test asan tsan fuzz screenshots package windows windows-test \
        windows-package clean

all: build

build:
	scripts/install-deps.sh build
	cmake --preset default -DQUORVEL_WERROR=$(WERROR)
	cmake --build --preset default

# The sample tree is generated when missing, so a second `make run` finds it compressed and
# reports "Saved 0Kb Finished.."; `make sample` generates it afresh.
run: build
	test -d $(SAMPLE) || build/default/scripts/quorvel-make-sample $(SAMPLE)
	cd $(SAMPLE) && ../default/qt/quorvel

sample: build
	rm -rf $(SAMPLE) && build/default/scripts/quorvel-make-sample $(SAMPLE)

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

fuzz:
	scripts/install-deps.sh fuzz
	cmake --preset fuzz -DQUORVEL_WERROR=$(WERROR)
	cmake --build --preset fuzz
	scripts/run-fuzzers.sh $(FUZZ_SECONDS)

screenshots: build windows
	scripts/install-deps.sh screenshots windows
	scripts/screenshots.sh

package:
	scripts/install-deps.sh package
	WERROR=$(WERROR) packaging/make-deb.sh

windows:
	scripts/install-deps.sh windows
	cmake --preset windows -DQUORVEL_WERROR=$(WERROR) \
	    -DQUORVEL_LIBDEFLATE_SOURCE="$$(scripts/libdeflate-source.sh build/windows-deps)"
	cmake --build --preset windows -j 2

# The tests under Wine, with one Wine server for the run (see the script).
windows-test: windows
	scripts/windows-test.sh

# The installer is tested as it was made: silent install, both programs started, uninstall.
windows-package: windows
	cd build/windows && cpack -G "ZIP;NSIS"
	scripts/windows-package-test.sh

clean:
	rm -rf build
