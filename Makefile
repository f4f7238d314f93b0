# make run   installs what is missing, builds, and starts the program
# make test  installs what is missing, builds, and runs the whole suite, then runs it once more
#            in a build with AddressSanitizer and UndefinedBehaviorSanitizer
# make fuzz  builds the fuzz targets with clang and runs each for FUZZ_SECONDS on its seeds
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test test-sanitize fuzz install clean format

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/CMakeCache.txt:
	@$(MAKE) --no-print-directory deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display (DISPLAY is not set); run it from a desktop session, or under Xvfb: xvfb-run make run"; \
	  exit 1; \
	fi
	$(BUILD)/bin/tovik

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-sanitize

# A sanitizer report ends the test that made it. Leaks are reported too, except those inside
# the third-party libraries named in tests/lsan.supp. The windows need no OpenGL, and the GL
# driver is unloaded before the leak check, which then cannot tell its memory from ours.
SANITIZER_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:print_stacktrace=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	QT_XCB_GL_INTEGRATION=none

$(ASAN_BUILD)/CMakeCache.txt:
	@$(MAKE) --no-print-directory deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVIK_SANITIZE=ON

test-sanitize: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVIK_FUZZ=ON \
	  -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) --target fuzz_line_reader fuzz_sort_expression -j $(JOBS)
	bash scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
