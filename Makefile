# The two commands a newcomer needs: `make run` and `make test`.
# Both install the Debian 12 packages that are missing (as root), configure,
# build, and then start the editor or run the tests.

BUILD      ?= build
JOBS       ?= $(shell nproc)
EXAMPLE    ?= examples/example.gif
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

DEB_PACKAGES := build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
                libgtest-dev libgmock-dev libgif-dev libbenchmark-dev \
                xvfb xauth fonts-noto-cjk fonts-liberation2 imagemagick \
                desktop-file-utils qt6-translations-l10n \
                clang libclang-rt-14-dev clang-format \
                libimagequant-dev qt6-image-formats-plugins pngquant

.PHONY: run test test-sanitize fuzz deps configure build bench bench-size bench-gui bench-import clean format format-check

deps:
	@missing=""; for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/velmar $(wildcard $(EXAMPLE))

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite with AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer. Leaks that belong to the system libraries (not to us) are
# suppressed by tests/sanitizer/lsan.supp, which says why for each entry.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1 \
                LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
                QT_QPA_PLATFORM=offscreen

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_SANITIZE=ON
	$(SANITIZE_ENV) cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

# libFuzzer targets (clang, ASan + UBSan), each run for FUZZ_SECONDS from a
# seed corpus made at run time from the conformance suites and examples/.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	      -DVELMAR_FUZZ=ON -DVELMAR_BUILD_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target velmar_fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash fuzz/run.sh $(FUZZ_BUILD)

bench: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS) --target velmar_bench
	$(BUILD)-bench/bench/velmar_bench

# Sizes of the optimised save against gifsicle -O3 and ImageMagick's
# -layers Optimize (gifsicle is installed when missing), and its save time.
bench-size: deps
	@command -v gifsicle >/dev/null || { echo "Installing: gifsicle"; $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends gifsicle; }
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS) --target velmar_bench_size
	$(BUILD)-bench/bench/velmar_bench_size

# Opening 600- and 3000-frame animations in the main window (offscreen)
# against velmar-cli open: time, resident size, and the time of closing all.
bench-gui: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS) --target velmar_bench_gui
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/bench/velmar_bench_gui

# Picture import against pngquant: PSNR of each generated picture and the
# time to import 100 pictures.
bench-import: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS) --target velmar_bench_import
	$(BUILD)-bench/bench/velmar_bench_import

# Every C++ file of the tree follows .clang-format; CI refuses a file that
# does not.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format: deps
	clang-format -i $(FORMAT_FILES)

format-check: deps
	clang-format --dry-run --Werror $(FORMAT_FILES)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(SANITIZE_BUILD) $(FUZZ_BUILD)
