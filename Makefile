# The two commands a newcomer needs: `make run` and `make test`.
# Both install the Debian 12 packages that are missing (as root), configure,
# build, and then start the editor or run the tests.

BUILD      ?= build
JOBS       ?= $(shell nproc)
EXAMPLE    ?= examples/example.gif
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

DEB_PACKAGES := build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
                libgtest-dev libgmock-dev libgif-dev libbenchmark-dev \
                xvfb xauth fonts-noto-cjk fonts-liberation2 imagemagick

.PHONY: run test deps configure build bench clean

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

bench: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS) --target velmar_bench
	$(BUILD)-bench/bench/velmar_bench

clean:
	rm -rf $(BUILD) $(BUILD)-bench
