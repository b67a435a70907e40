# Set-up, build and test in one step each; see README.md.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
FILE ?= examples/hello.bmp
JOBS ?= $(shell nproc)

TSAN_BUILD ?= build-tsan

.PHONY: all deps configure build python run test test-sanitize test-tsan test-python-venv fuzz-ci clean bench bench-photos web test-web bench-web

all: build

deps:
	@sh scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_TESTS=ON -DVANTOR_GUI=ON -DVANTOR_PYTHON=ON

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The Python module in the build tree: PYTHONPATH=build/python imports it.
python: configure
	cmake --build $(BUILD) -j$(JOBS) --target vantor_python

# Only the reader it runs, and only the packages that needs: the tests, the
# dialog and the Python module are left for make build. A build folder
# configured before keeps its options.
run:
	@sh scripts/install-deps.sh run
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVANTOR_TESTS=OFF -DVANTOR_GUI=OFF -DVANTOR_PYTHON=OFF
	cmake --build $(BUILD) -j$(JOBS) --target vantor-cli
	$(BUILD)/vantor "$(FILE)"

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j$(JOBS)

# The tests of concurrent use under ThreadSanitizer: threads reading and
# decoding at once must give the sequential results, with no data race.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_TSAN=ON -DVANTOR_GUI=OFF
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target vantor_concurrency_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/vantor_concurrency_tests

# The Python package installed with pip into a fresh virtual environment,
# offline, and its tests run against that copy.
test-python-venv: deps
	BUILD=$(BUILD) sh scripts/python-venv-test.sh

# Replays the fuzz seed corpora and fuzzes each target for FUZZ_SECONDS
# (default 60) under the sanitizers; fails on any finding.
FUZZ_BUILD ?= build-fuzz
fuzz-ci:
	FUZZ_BUILD=$(FUZZ_BUILD) sh scripts/fuzz-ci.sh

# Times the decoder beside zxing-cpp and ZBar on generated pictures and
# prints one table.
BENCH_BUILD ?= build-bench
bench:
	@sh scripts/install-deps.sh compare
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_GUI=OFF -DVANTOR_BENCH=ON -DVANTOR_BENCH_COMPARE=ON
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target vantor_bench
	$(BENCH_BUILD)/bench/vantor_bench $(BENCH_ARGS)

# The symbol-level read rate per category on the real phone photos beside
# the project, Vantor against zxing-cpp 3.1 and ZBar, with the CPU time of
# whole runs on one core; skipped when the photos are not there. Builds the
# reader as make run does. BENCH_PHOTOS_ARGS: e.g. --category lots,
# --effort exhaustive, --misses FILE (see scripts/bench-photos.py --help).
PHOTOS ?= ../shared/photos/qr-v3-dev
bench-photos:
	@sh scripts/install-deps.sh run compare
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVANTOR_TESTS=OFF -DVANTOR_GUI=OFF -DVANTOR_PYTHON=OFF
	cmake --build $(BUILD) -j$(JOBS) --target vantor-cli
	python3 scripts/bench-photos.py --vantor $(BUILD)/vantor --photos $(PHOTOS) $(BENCH_PHOTOS_ARGS)

# The WebAssembly module and its JavaScript in web/dist/, built with
# Debian's emscripten, whose JavaScript tools need Debian's Node modules.
WEB_BUILD ?= build-web
WEB_ENV = NODE_PATH=/usr/share/nodejs
web:
	@sh scripts/install-deps.sh web
	$(WEB_ENV) emcmake cmake -S web -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release
	$(WEB_ENV) cmake --build $(WEB_BUILD) -j$(JOBS)
	mkdir -p web/dist
	cp web/src/*.mjs $(WEB_BUILD)/vantor-core.mjs web/dist/
	cp $(WEB_BUILD)/vantor-core.wasm web/dist/vantor.wasm

# The module under Node against the native reader, then the page in
# headless Chromium; puppeteer-core comes from web/package-lock.json.
test-web: web configure
	@sh scripts/install-deps.sh web-test
	cmake --build $(BUILD) -j$(JOBS) --target vantor-cli
	cd web && { [ -d node_modules/puppeteer-core ] || npm ci --no-audit --no-fund; }
	VANTOR_CLI=$(abspath $(BUILD))/vantor VANTOR_SCREENSHOT=$(abspath $(WEB_BUILD))/web-demo.png \
	    node --test web/test/*.test.mjs

# The module's time per picture in headless Chromium beside the native
# library's on the same grey pictures, and its size.
bench-web: web configure
	@sh scripts/install-deps.sh web-test
	cmake --build $(BUILD) -j$(JOBS) --target vantor
	$(CXX) -O2 -std=c++20 -Wall -Wextra -Iinclude web/bench/native_time.cpp $(BUILD)/libvantor.a \
	    $$(pkg-config --libs libpng libwebp libtiff-4) -ljpeg -lgif -o $(WEB_BUILD)/native_time
	cd web && { [ -d node_modules/puppeteer-core ] || npm ci --no-audit --no-fund; }
	node web/bench/speed.mjs $(WEB_BUILD)/native_time $(BENCH_ARGS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) $(WEB_BUILD) web/dist
