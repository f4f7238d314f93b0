# make run      installs what building needs, builds the program alone, and starts it
# make test     installs what the tests need too, builds everything, and runs the whole suite,
#               then runs it once more in a build with AddressSanitizer and UndefinedBehaviorSanitizer
# make soak     builds the long-session test and runs it: 200 cycles of the whole road through the
#               compare window with large sources, memory, open files and temporary files watched
# make fuzz     builds the fuzz targets with clang and runs each for FUZZ_SECONDS on its seeds
# make package  builds the Debian packages (tovik and tovik-qt6) into $(BUILD)
# make install  installs the program under PREFIX; make uninstall removes what it installed
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps deps-test deps-fuzz configure build run test test-sanitize soak fuzz package install uninstall \
	clean format

all: build

deps:
	@bash scripts/install-deps build
deps-test:
	@bash scripts/install-deps test
deps-fuzz:
	@bash scripts/install-deps fuzz

$(BUILD)/CMakeCache.txt:
	@$(MAKE) --no-print-directory deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The program and what it links: the window library against Qt 5 and the core.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target tovik_program
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display (DISPLAY is not set); run it from a desktop session, or under Xvfb: xvfb-run make run"; \
	  exit 1; \
	fi
	$(BUILD)/bin/tovik

test: deps-test configure
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE soak
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

test-sanitize: deps-test $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS) -LE soak

# The long session, against the Qt generation SOAK_QT (5 or 6); a line a cycle shows its memory.
# SOAK_CYCLES shortens or lengthens it.
SOAK_QT ?= 5
SOAK_CYCLES ?= 200
soak: deps-test configure
	cmake --build $(BUILD) -j $(JOBS) --target soak-qt$(SOAK_QT)
	cd $(BUILD) && TOVIK_SOAK_CYCLES=$(SOAK_CYCLES) ctest --output-on-failure -V -L soak -R '^soak-qt$(SOAK_QT)$$'

fuzz: deps-fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVIK_FUZZ=ON \
	  -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) --target fuzz_line_reader fuzz_sort_expression fuzz_compare_engine \
	  fuzz_writers fuzz_drive_paths -j $(JOBS)
	bash scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

# What the packages hold: the program, both window libraries, the desktop files.
package: configure
	cmake --build $(BUILD) -j $(JOBS) --target tovik_packaged
	cd $(BUILD) && cpack

install: configure
	cmake --build $(BUILD) -j $(JOBS) --target tovik_packaged
	cmake --install $(BUILD) --prefix $(PREFIX)

# Removes the files the last make install put in place (folders that other programs share stay).
uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "make uninstall: nothing was installed from $(BUILD)"; exit 1; }
	xargs -d '\n' rm -f < $(BUILD)/install_manifest.txt

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
