# make demo: set up, build everything, run a demo self-extracting archive under Wine.
# make check: set up, build everything, run every test.
# make install PREFIX=...: the optimised Linux programs, both stubs and the man pages.
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
ROOT := $(CURDIR)

.PHONY: all setup build windows native demo check bench install clean

all: build

setup:
	@./scripts/setup.sh

windows: setup
	cmake --preset win32 >/dev/null
	cmake --build build/win32 -j $(JOBS)
	cmake --preset win64 >/dev/null
	cmake --build build/win64 -j $(JOBS)

native: setup windows
	cmake --preset native -DVESPA_WIN64_BIN=$(ROOT)/build/win64/bin -DVESPA_WIN32_BIN=$(ROOT)/build/win32/bin >/dev/null
	cmake --build build/native -j $(JOBS)

build: windows native

demo: build
	./scripts/demo.sh

check: build
	ctest --test-dir build/native --output-on-failure -j $(JOBS)

bench: setup
	cmake --preset native-release >/dev/null
	cmake --build build/native-release -j $(JOBS) --target vespa-console vespa-bench-harness vespa-decode-bench
	./bench/run.sh

# The release build, not the sanitised one of the tests; DESTDIR is honoured for packaging.
install: windows
	cmake --preset native-release -DVESPA_WIN64_BIN=$(ROOT)/build/win64/bin -DVESPA_WIN32_BIN=$(ROOT)/build/win32/bin >/dev/null
	cmake --build build/native-release -j $(JOBS) --target vespa-mksfx vespa-console
	cmake --install build/native-release --prefix $(PREFIX)

clean:
	rm -rf build
