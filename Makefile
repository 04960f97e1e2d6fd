# make demo: set up, build everything, run a demo self-extracting archive under Wine.
# make check: set up, build everything, run every test, say which stubs ran under Wine.
# make install PREFIX=...: the optimised Linux programs, both stubs and the man pages; it sets up
# only what building needs (scripts/setup.sh build), never the test tools.
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
ROOT := $(CURDIR)

.PHONY: all setup setup-build setup-test setup-bench build windows native demo check bench install clean

all: build

# What each purpose needs (scripts/setup.sh says which packages); one apt-get at a time.
setup:
	@./scripts/setup.sh build test bench

setup-build:
	@./scripts/setup.sh build

setup-test: setup-build
	@./scripts/setup.sh test

setup-bench: setup-build
	@./scripts/setup.sh bench

windows: setup-build
	cmake --preset win32 >/dev/null
	cmake --build build/win32 -j $(JOBS)
	cmake --preset win64 >/dev/null
	cmake --build build/win64 -j $(JOBS)

# The test build: its tests need the test packages.
native: setup-test windows
	cmake --preset native -DVESPA_WIN64_BIN=$(ROOT)/build/win64/bin -DVESPA_WIN32_BIN=$(ROOT)/build/win32/bin >/dev/null
	cmake --build build/native -j $(JOBS)

build: windows native

demo: build
	./scripts/demo.sh

# The last line names the stubs that ran under Wine, from ctest's own record of the run.
check: build
	@status=0; \
	ctest --test-dir build/native --output-on-failure -j $(JOBS) \
	  --output-junit $(ROOT)/build/native/check-results.xml || status=$$?; \
	python3 scripts/wine_coverage.py $(ROOT)/build/native/check-results.xml; \
	exit $$status

bench: setup-bench windows
	cmake --preset native-release >/dev/null
	cmake --build build/native-release -j $(JOBS) --target vespa-console vespa-mksfx vespa-bench-harness vespa-decode-bench
	./bench/run.sh

# The release build, not the sanitised one of the tests; DESTDIR is honoured for packaging.
install: windows
	cmake --preset native-release -DVESPA_WIN64_BIN=$(ROOT)/build/win64/bin -DVESPA_WIN32_BIN=$(ROOT)/build/win32/bin >/dev/null
	cmake --build build/native-release -j $(JOBS) --target vespa-mksfx vespa-console
	cmake --install build/native-release --prefix $(PREFIX)

clean:
	rm -rf build
