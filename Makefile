# Tavrelle: build, test, benchmark, fuzz and run the demo.
# `make test` and `make run` install what they need with apt-get (as root, or through sudo).

BUILD      ?= build
ASAN_BUILD ?= build/asan
FUZZ_BUILD ?= build/fuzz
BENCH_BUILD ?= build/bench
JOBS       ?= $(shell nproc)
APP        ?=

BUILD_PACKAGES = cmake ninja-build g++ pkg-config nlohmann-json3-dev libgtest-dev libgmock-dev \
                 libbenchmark-dev libx11-dev libxi-dev libxrandr-dev libxfixes-dev libxext-dev \
                 libxcomposite-dev libxdamage-dev libxrender-dev libxpresent-dev libstb-dev \
                 libssl-dev
RUN_PACKAGES   = chromium xdg-utils x11-utils
TEST_PACKAGES  = $(RUN_PACKAGES) xvfb openbox xdotool clang libclang-rt-14-dev nginx-light \
                 clang-format clang-tidy
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all build test unit e2e bench fuzz fuzz-smoke run format lint deps-build deps-run deps-test clean

all: build

define install_missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps-build:
	$(call install_missing,$(BUILD_PACKAGES))
deps-run: deps-build
	$(call install_missing,$(RUN_PACKAGES))
deps-test: deps-build
	$(call install_missing,$(TEST_PACKAGES))

# Release build: build/tavrelle and build/fusepack.
build: deps-build
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRELLE_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)
	@ln -sf $(BUILD)/compile_commands.json compile_commands.json

# Every test: the release build, a short fuzz run of each target, then unit and
# end-to-end tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test: deps-test build fuzz-smoke
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVRELLE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure

bench: deps-test
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRELLE_TESTS=OFF -DTAVRELLE_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bench/run.sh $(BENCH_BUILD)

fuzz: deps-test
	fuzz/run.sh $(FUZZ_BUILD) $${FUZZ_RUNS:-1000000}

fuzz-smoke: deps-test
	fuzz/run.sh $(FUZZ_BUILD) 20000

# Runs a game folder (APP=path, holding package.json) or the bundled demo.
run: deps-run build
	scripts/run-game.sh $(BUILD)/tavrelle "$(APP)"

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

lint: build
	scripts/check-layering.sh
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
	git ls-files 'src/*.cpp' 'tools/*.cpp' | xargs clang-tidy -p $(BUILD) --quiet --extra-arg=-Wno-unknown-warning-option

clean:
	rm -rf build compile_commands.json
