# Front door for the everyday commands; the real build is CMake (presets).
#   make demo    build natively, generate a sample stream, check it
#   make test    build all three builds that this machine can make, run all tests
#   make bench   throughput benchmark (see docs/development.md)
#   make install install kestrun (stripped), its manual page and the user
#                documents under PREFIX; make uninstall removes them again
#   make dist    release packages (tar.gz for Linux, a zip per Windows build)
#   make livebench  live-source benchmark: tuner and standard input (see docs/development.md)
#   make htmlbench  size and browser load time of a dense HTML report
SHELL := /bin/bash
JOBS ?= 2
BUILD := build
WINE_ENV := WINEPREFIX=$(CURDIR)/$(BUILD)/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
HAVE_MINGW64 := $(shell command -v x86_64-w64-mingw32-g++-posix >/dev/null && echo yes)
HAVE_MINGW32 := $(shell command -v i686-w64-mingw32-g++-posix >/dev/null && echo yes)
HAVE_WINE64 := $(shell test -x /usr/lib/wine/wine64 && echo yes)
HAVE_WINE32 := $(shell test -x /usr/lib/wine/wine && echo yes)

PREFIX ?= /usr/local

.PHONY: native win64 win32 windows demo test wineprefix bench clean install uninstall dist

native:
	cmake --preset native >/dev/null
	cmake --build --preset native -j$(JOBS)

win64:
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j$(JOBS)

win32:
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j$(JOBS)

# The demo builds only the program and the stream generator, not the tests.
demo:
	cmake --preset native >/dev/null
	cmake --build --preset native -j$(JOBS) --target kestrun tsgen
	@mkdir -p $(BUILD)/demo
	$(BUILD)/native/tools/tsgen/tsgen --demo -o $(BUILD)/demo/sample.ts
	@rm -f $(BUILD)/demo/sample.kestrun.log
	@$(BUILD)/native/kestrun $(BUILD)/demo/sample.ts; status=$$?; \
	  echo "kestrun exit code: $$status (the number of drops)"; \
	  echo "log written to $(BUILD)/demo/sample.kestrun.log"

# Windows builds are made when the cross compilers exist. With
# KESTRUN_REQUIRE_WINDOWS=1 (CI) a missing toolchain or Wine is an error.
windows:
ifeq ($(HAVE_MINGW64)$(HAVE_MINGW32),yesyes)
	$(MAKE) win64 win32
else
	@if [ -n "$$KESTRUN_REQUIRE_WINDOWS" ]; then echo "mingw-w64 cross compilers missing" >&2; exit 1; fi
	@echo "NOTE: mingw-w64 cross compilers not found: the Windows builds and their Wine tests are skipped"
endif

wineprefix:
ifeq ($(HAVE_WINE64)$(HAVE_WINE32),yesyes)
	@test -d $(BUILD)/wineprefix/drive_c || $(WINE_ENV) /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
else
	@if [ -n "$$KESTRUN_REQUIRE_WINDOWS" ]; then echo "Wine (wine64 and wine32) missing" >&2; exit 1; fi
	@echo "NOTE: Wine not found: the Windows tests are skipped"
endif

# ctest lists every skipped test at the end ("did not run ... Skipped"); the
# Windows ones say why in their output.
test: windows native wineprefix
	cd $(BUILD)/native && KESTRUN_WINEPREFIX=$(CURDIR)/$(BUILD)/wineprefix \
	  ctest --output-on-failure -j$(JOBS) --timeout 600

install:
	cmake --preset native >/dev/null
	cmake --build --preset native -j$(JOBS) --target kestrun
	cmake --install $(BUILD)/native --prefix $(PREFIX) --strip

uninstall:
	cmake --preset native >/dev/null
	cmake -DPREFIX=$(PREFIX) -P $(BUILD)/native/uninstall.cmake

# Packages go to build/dist, named with the version and the build; the
# Windows zips are made where the cross compilers exist.
dist:
	cmake --preset native >/dev/null
	cmake --build --preset native -j$(JOBS) --target kestrun
	cd $(BUILD)/native && cpack -B $(CURDIR)/$(BUILD)/dist
ifeq ($(HAVE_MINGW64)$(HAVE_MINGW32),yesyes)
	for preset in win64 win32; do \
	  cmake --preset $$preset >/dev/null && \
	  cmake --build --preset $$preset -j$(JOBS) --target kestrun && \
	  (cd $(BUILD)/$$preset && cpack -B $(CURDIR)/$(BUILD)/dist) || exit 1; \
	done
else
	@echo "NOTE: mingw-w64 cross compilers not found: no Windows packages"
endif
	@rm -rf $(BUILD)/dist/_CPack_Packages
	@ls -1 $(BUILD)/dist

# Throughput benchmark and packet-path micro-benchmarks, in their own
# RelWithDebInfo build under build/bench (the 1 GiB stream is cached there).
bench:
	JOBS=$(JOBS) tools/bench/run_bench.sh

.PHONY: microbench
microbench:
	JOBS=$(JOBS) tools/bench/run_bench.sh --micro-only

# The HTML report of a ten-hour stream with about 100,000 drops: its size and
# the time headless Chromium takes to show it (tools/bench/run_htmlbench.sh).
.PHONY: htmlbench
htmlbench:
	JOBS=$(JOBS) tools/bench/run_htmlbench.sh

# Live sources: the test tuner driver at set rates and block sizes, idle and
# under load, natively and under Wine (see tools/bench/run_livebench.sh).
.PHONY: livebench
livebench:
	JOBS=$(JOBS) tools/bench/run_livebench.sh

clean:
	rm -rf $(BUILD)

# Hostile input (tools/sanitize, tools/fuzz):
#   make sanitize  the native tests under AddressSanitizer with UBSan (all of
#                  them) and under ThreadSanitizer (SANITIZERS, TSAN_TESTS)
#   make fuzz      each libFuzzer target for FUZZ_SECONDS (default 60); needs
#                  clang and its runtime (libclang-rt-14-dev on Debian)
.PHONY: sanitize fuzz
sanitize:
	tools/sanitize/run_sanitizers.sh

fuzz:
	tools/fuzz/run_fuzz.sh
