# VoidCrawl: the commands people need.
#   make         build the game, the headless runner and the data set in build/
#   make run     install missing packages, build the game and its data, play
#   make test    install missing packages (test tools too), build with the
#                tests, run every test
#   make server  build everything and start voidcrawl-server, the world
#                table, on 127.0.0.1:8080 (SERVER_ARGS=... for more), its
#                SQLite file in build/server-data/, serving the browser
#                build from build-web/ when there is one (docs/server.md)
#   make test-postgres  the world table store's cases on PostgreSQL alone, in
#                a cluster of their own (CI=true: fail when none can start)
#   make         also writes the manual page build/voidcrawl.6 (man -l)
#   make install install the game into PREFIX (/usr/local): the program, its
#                data, the desktop entry, the icons, the metadata, the manual
#                page and the documents (DESTDIR=... stages it elsewhere, as
#                packagers do)
#   make uninstall  removes what the last make install put in place (its
#                manifest, build/install_manifest.txt, written even when the
#                install stopped partway), with the same PREFIX and DESTDIR
#   make deb     the Debian package build-deb/voidcrawl_<version>_<arch>.deb
#                (CPack); make test-deb installs it, plays it and removes it
#                again, as root (CI runs it)
# `make` and `make run` need neither GoogleTest nor the test tools: the tests
# are configured only by `make test` (and the two deeper checks below).
# and two deeper checks (CI runs both):
#   make test-asan  the test suite but its end-to-end tests (label e2e),
#                   built with AddressSanitizer and
#                   UndefinedBehaviorSanitizer, in build-asan/
#   make fuzz       libFuzzer on every file reader, FUZZ_SECONDS (60) each,
#                   built with clang in build-fuzz/
# and the performance suite (never part of make or make test):
#   make bench      Google Benchmark: our copies, frames, 8-to-32-bit
#                   conversion and the window's scaling against SDL's and
#                   memcpy, a Release build in
#                   build-bench/, ending with a table of ratios per goal
#                   (docs/performance.md)
#   make bench-server  the world table's server under load: wrk at 200
#                   connections on a million entries (SQLite, PostgreSQL),
#                   replays verified per second per core, and games relayed
#                   through its rooms (docs/server.md; PARTS= picks some)
# and the style and static checks (CI runs them):
#   make lint       clang-format's check of every C++ file, clang-tidy's
#                   chosen checks (.clang-tidy) and cppcheck; any finding fails
# and one measure of the tests' reach:
#   make coverage   the whole test suite built with gcc's --coverage in
#                   build-coverage/; prints line and branch coverage of src/
#                   and tools/ per folder, HTML in build-coverage/coverage/

BUILD_DIR := build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local
TESTS ?= OFF
# CI builds with warnings as errors; WERROR=ON does the same anywhere.
WERROR ?= $(if $(filter true,$(CI)),ON,OFF)

.PHONY: all configure run test deps deps-test clean install uninstall deb deps-deb test-deb test-asan deps-fuzz fuzz deps-coverage coverage deps-lint lint

all: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVC_TESTS=$(TESTS) -DVC_WERROR=$(WERROR)

run: deps
	$(MAKE) --no-print-directory configure
	cmake --build $(BUILD_DIR) --target voidcrawl -j$(JOBS)
	./$(BUILD_DIR)/voidcrawl

# The timing-bound cases (the links, the end-to-end ones) run one at a time
# after the rest, which share the cores.
test: deps-test
	$(MAKE) --no-print-directory all TESTS=ON
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS) -LE '^(e2e|net)$$'; status=$$?; \
	ctest --output-on-failure -L '^(e2e|net)$$' || status=1; exit $$status

# The world table's store on PostgreSQL alone (label postgres): the same
# cases as on SQLite, in a cluster the tests start in a temporary folder
# (tests/server/pg-cluster.sh). Without PostgreSQL they are skipped, saying
# why; with CI=true that is a failure.
.PHONY: test-postgres
test-postgres: deps-test
	$(MAKE) --no-print-directory all TESTS=ON
	cd $(BUILD_DIR) && ctest --output-on-failure -L '^postgres$$'

# The install prefix is compiled in as the game's last place to look for its
# data; the game finds it beside itself (../share/voidcrawl) first anyway.
# `installable` is every file the install takes from the build (the game,
# the data set, the manual page); tools/install.cmake leaves the manifest
# even when the install stops partway, so that make uninstall can undo it.
install: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVC_TESTS=$(TESTS) \
		-DCMAKE_INSTALL_PREFIX="$(PREFIX)"
	cmake --build $(BUILD_DIR) --target installable -j$(JOBS)
	cmake -DBUILD=$(BUILD_DIR) -DPREFIX="$(PREFIX)" -P tools/install.cmake

uninstall:
	cmake -DMANIFEST=$(BUILD_DIR)/install_manifest.txt -DPREFIX="$(PREFIX)" -P tools/uninstall.cmake

# The package is built apart, in build-deb/, for the prefix /usr.
DEB_BUILD_DIR ?= build-deb

deps-deb:
	@bash tools/install-deps.sh deb

# Debian's own compiler and linker flags, with all its hardening (stack
# protector, fortified functions, read-only relocations bound at start-up);
# the program goes to /usr/games, as Debian keeps games. Only what the package
# holds is built (not the runner or the fuzz targets' bodies).
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

deb: deps-deb
	CXXFLAGS="$$($(DEB_FLAGS) CXXFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" LDFLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
	cmake -S . -B $(DEB_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVC_TESTS=OFF -DVC_WERROR=$(WERROR) \
		-DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_BINDIR=games -DVC_DEB=ON -DVC_SERVER=OFF \
		-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
	cmake --build $(DEB_BUILD_DIR) --target installable -j$(JOBS)
	rm -f $(DEB_BUILD_DIR)/voidcrawl_*.deb
	cd $(DEB_BUILD_DIR) && cpack -G DEB
	@ls $(DEB_BUILD_DIR)/voidcrawl_*.deb

test-deb: deb
	@bash tools/install-deps.sh deb-test
	bash tests/e2e/deb_test.sh $(DEB_BUILD_DIR)

SERVER_ARGS ?=
.PHONY: server
server: deps
	$(MAKE) --no-print-directory all
	./$(BUILD_DIR)/voidcrawl-server --data $(BUILD_DIR)/server-data \
		$(if $(wildcard $(WEB_DIR)/index.html),--web $(WEB_DIR)) $(SERVER_ARGS)

deps:
	@bash tools/install-deps.sh run

deps-test:
	@bash tools/install-deps.sh test

clean:
	rm -rf $(BUILD_DIR)

# ---- sanitizers and fuzzing --------------------------------------------------
ASAN_BUILD_DIR ?= build-asan
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
# Any report ends the process; leaks count. Reports are written to files
# (one a process), so that none is lost in a test that captures stderr or in
# a child process whose end a test expects: the run fails if any is there.
# The suppressions cover the X and GL libraries the window test loads, never
# the game. The end-to-end tests (label e2e: the real window, the install
# and the fresh clone, which re-run whole programs and builds) run in make
# test; here the sanitizers check the same game code through the unit and
# scenario tests. Those run two at a time, the network ones (label net:
# real time on loopback) alone after them; CI's long online runs (CI=true:
# whole games, cuts of the link) are played unsanitized by make test, and
# here in their short forms.
SANITIZER_REPORTS = $(abspath $(ASAN_BUILD_DIR))/sanitizer-reports
SANITIZER_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:log_path=$(SANITIZER_REPORTS)/asan \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:log_path=$(SANITIZER_REPORTS)/ubsan \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer-suppressions.txt:print_suppressions=0

# Line tables are all a sanitizer's report needs of the debug information
# (file and line of each frame), and they build a fifth quicker than -g.
LINE_TABLES = -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"

test-asan: deps-test
	cmake -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVC_SANITIZE=ON -DVC_TESTS=ON $(LINE_TABLES)
	cmake --build $(ASAN_BUILD_DIR) -j$(JOBS)
	rm -rf $(SANITIZER_REPORTS) && mkdir -p $(SANITIZER_REPORTS)
	cd $(ASAN_BUILD_DIR) && export $(SANITIZER_ENV) CI=; \
	ctest --output-on-failure -j$(JOBS) -LE '^(e2e|net)$$'; status=$$?; \
	ctest --output-on-failure -L '^net$$' || status=1; \
	if [ -n "$$(ls -A $(SANITIZER_REPORTS))" ]; then \
		cat $(SANITIZER_REPORTS)/*; \
		echo "test-asan: $$(ls $(SANITIZER_REPORTS) | wc -l) sanitizer report(s) in $(SANITIZER_REPORTS)"; \
		exit 1; \
	fi; \
	exit $$status

deps-fuzz:
	@bash tools/install-deps.sh fuzz

fuzz: deps-fuzz
	cmake -S . -B $(FUZZ_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVC_FUZZ=ON -DVC_TESTS=OFF $(LINE_TABLES) \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD_DIR) --target fuzz_all -j$(JOBS)
	bash fuzz/run.sh $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS)

# ---- lint --------------------------------------------------------------------
# A configure alone (no build) gives clang-tidy and cppcheck the compile
# commands and the layers' include views.
LINT_BUILD_DIR ?= build-lint

deps-lint:
	@bash tools/install-deps.sh lint

lint: deps-lint
	cmake -S . -B $(LINT_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVC_TESTS=ON > /dev/null
	bash tools/lint.sh $(LINT_BUILD_DIR)

# ---- coverage ----------------------------------------------------------------
# Unoptimised, so that every line and branch counts where it is written. The
# counters are cleared before the run, so the figures are this run's alone
# (the data set's generation at build time does not count for mkdata).
COVERAGE_BUILD_DIR ?= build-coverage

deps-coverage:
	@bash tools/install-deps.sh coverage

coverage: deps-coverage
	cmake -S . -B $(COVERAGE_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DVC_TESTS=ON \
		-DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage"
	cmake --build $(COVERAGE_BUILD_DIR) -j$(JOBS)
	find $(COVERAGE_BUILD_DIR) -name '*.gcda' -delete
	cd $(COVERAGE_BUILD_DIR) && ctest --output-on-failure -j$(JOBS); status=$$?; \
	cd $(CURDIR) && bash tools/coverage-report.sh $(COVERAGE_BUILD_DIR) && exit $$status

# ---- the browser build -------------------------------------------------------
#   make web        the game for the browser in build-web/: our own page, the
#                   .js and .wasm (emscripten) and the gzipped data image; the
#                   data set is made by the native mkdata in build-web/native/
#                   (WEB_NATIVE_DIR)
#   make web-serve  serves build-web/ at http://localhost:8000/ (WEB_PORT=...)
#   make web-dist   build-web/voidcrawl-web.zip: the site, page at its root,
#                   for any static host; prints the download's sizes and
#                   keeps them in build-web/download-sizes.md
#   make test-web   plays the page in headless Chromium (tests/web/), and
#                   checks web-dist's zip; its replays are checked against the
#                   native runner (build-web/native/voidcrawl-headless), and
#                   the idle menu's CPU is measured against the desktop
#                   game's (build-web/native/voidcrawl, under Xvfb); not
#                   part of make test, CI runs it
WEB_DIR ?= build-web
WEB_PORT ?= 8000
# The native build that makes the page's data set and runs beside the page in
# test-web. CI points it at the build `make test` made (WEB_NATIVE_DIR=build),
# which then is not configured again.
WEB_NATIVE_DIR ?= $(WEB_DIR)/native
# Debian's emscripten finds its JavaScript tools there when node is not Debian's.
WEB_ENV = NODE_PATH=/usr/share/nodejs

WEB_SITE_FILES = index.html voidcrawl.css voidcrawl-page.js voidcrawl-64.png voidcrawl.js voidcrawl.wasm \
	voidcrawl.data.gz

.PHONY: deps-web web web-serve web-dist test-web

deps-web:
	@bash tools/install-deps.sh web

web: deps-web
	$(if $(wildcard $(WEB_NATIVE_DIR)/CMakeCache.txt),,cmake -S . -B $(WEB_NATIVE_DIR) -DCMAKE_BUILD_TYPE=Release -DVC_TESTS=OFF)
	cmake --build $(WEB_NATIVE_DIR) --target data -j$(JOBS)
	$(WEB_ENV) JOBS=$(JOBS) bash tools/web-sodium.sh $(WEB_DIR)/sodium
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_DIR)/wasm -DCMAKE_BUILD_TYPE=Release \
		-DVC_WEB_DATA=$(abspath $(WEB_NATIVE_DIR))/data -DVC_WEB_SITE=$(abspath $(WEB_DIR)) \
		-DVC_WEB_SODIUM=$(abspath $(WEB_DIR))/sodium
	$(WEB_ENV) cmake --build $(WEB_DIR)/wasm -j$(JOBS)

web-serve: web
	@echo "VoidCrawl: http://localhost:$(WEB_PORT)/"
	cd $(WEB_DIR) && python3 -m http.server $(WEB_PORT)

web-dist: web
	rm -f $(WEB_DIR)/voidcrawl-web.zip
	cd $(WEB_DIR) && python3 -m zipfile -c voidcrawl-web.zip $(WEB_SITE_FILES)
	@python3 -m zipfile -l $(WEB_DIR)/voidcrawl-web.zip
	@python3 tools/web-sizes.py $(WEB_DIR) $(WEB_SITE_FILES) | tee $(WEB_DIR)/download-sizes.md

test-web: web-dist
	cmake --build $(WEB_NATIVE_DIR) --target voidcrawl-headless voidcrawl voidcrawl-server -j$(JOBS)
	cd tests/web && npm ci --no-audit --no-fund --loglevel=error
	VC_WEB_NATIVE=$(WEB_NATIVE_DIR) node tests/web/test-web.mjs $(WEB_DIR)

# ---- performance -------------------------------------------------------------
# Each benchmark runs five times and the fastest counts; BENCH_ARGS go to the
# suite (BENCH_ARGS=--benchmark_filter=frame runs the whole frames only).
BENCH_BUILD_DIR ?= build-bench
BENCH_ARGS ?=

.PHONY: deps-bench bench

deps-bench:
	@bash tools/install-deps.sh bench

bench: deps-bench
	cmake -S . -B $(BENCH_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVC_BENCH=ON -DVC_TESTS=OFF
	cmake --build $(BENCH_BUILD_DIR) --target vc_bench -j$(JOBS)
	./$(BENCH_BUILD_DIR)/bench/vc_bench $(BENCH_ARGS)

# The world table's server under load (bench/server/bench-server.sh): GET
# /api/v1/scores with wrk at 200 connections on a million entries, on SQLite
# and on PostgreSQL, whole replays verified per second per core, and N games
# relayed through the rooms (the server's CPU, the latency its hop adds);
# prints the tables docs/server.md keeps (PARTS="table verify rooms" picks). The seeded stores stay in
# build/bench-server/ for the next run. Not part of make test or CI.
.PHONY: bench-server
bench-server: deps-bench
	$(MAKE) --no-print-directory all
	bash bench/server/bench-server.sh $(BUILD_DIR)
