# Sorvane: the two set-up commands of the README, and a few helpers.
#   make play   installs what is missing, builds, plays the demo story
#   make test   installs what is missing, builds, runs every test

# Every Debian package the project needs, in one place. (qt6-declarative-dev is there
# because Qt's speech module's CMake files ask for its Qt6QmlIntegration.)
DEBIAN_PACKAGES := \
  build-essential cmake ninja-build pkg-config \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic libpng-dev libjpeg-dev zlib1g-dev \
  clang libclang-rt-14-dev \
  libpixman-1-dev imagemagick \
  qt6-base-dev xvfb xauth xdotool x11-utils openbox lintian \
  libsdl2-dev libvorbis-dev sox vorbis-tools \
  python3 time \
  qt6-speech-dev qt6-declarative-dev qt6-speech-speechd-plugin speech-dispatcher speech-dispatcher-espeak-ng espeak-ng \
  at-spi2-core dbus python3-pyatspi \
  libunibreak-dev fonts-dejavu-core

BUILD     ?= build
ASAN_DIR  ?= build-asan
FUZZ_DIR  ?= build-fuzz
CMAKE_ARGS ?=
JOBS      ?= 2

.PHONY: play test deps configure build package test-release test-sanitize test-tsan fuzz bench clean demo-assets

deps:
	@missing=""; \
	for p in $(DEBIAN_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing Debian packages:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  export DEBIAN_FRONTEND=noninteractive; \
	  for try in 1 2 3 4 5 6 7 8 9 10; do \
	    $$SUDO apt-get -o DPkg::Lock::Timeout=300 update -q && break; \
	    echo "apt-get update failed (lock?), retrying in 30 s"; sleep 30; \
	  done; \
	  $$SUDO apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

configure: deps $(BUILD)/build.ninja

build: configure
	ninja -C $(BUILD) -j $(JOBS)

test-release: deps
	@[ -f $(RELEASE_DIR)/build.ninja ] || cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DSORVANE_WERROR=ON -DSORVANE_BENCH=OFF -DSORVANE_QT=OFF
	ninja -C $(RELEASE_DIR) -j $(JOBS) common_tests platform_tests player_tests engine_tests ombrix_tests sound_tests
	for t in common_tests platform_tests player_tests engine_tests ombrix_tests sound_tests; do \
	  SORVANE_AUDIO=null $(RELEASE_DIR)/bin/$$t --gtest_brief=1 || exit 1; \
	done

# The parsers and decoders also run under AddressSanitizer and UBSan, and so does the
# window's own code (the backlog, the save screen) in qt_tests.
ASAN_TESTS := common_tests platform_tests player_tests engine_tests ombrix_tests sound_tests qt_tests
test-sanitize: deps
	@[ -f $(ASAN_DIR)/build.ninja ] || cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DSORVANE_SANITIZE=address,undefined -DSORVANE_BENCH=OFF -DSORVANE_WERROR=ON
	ninja -C $(ASAN_DIR) -j $(JOBS) $(ASAN_TESTS)
	for t in $(ASAN_TESTS); do \
	  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    QT_QPA_PLATFORM=offscreen $(ASAN_DIR)/bin/$$t --gtest_brief=1 || exit 1; \
	done

# The tests build with warnings as errors; a Release build with GCC runs the unit tests too.
RELEASE_DIR ?= build-release
test: deps
	cmake -S . -B $(BUILD) -G Ninja -DSORVANE_WERROR=ON $(CMAKE_ARGS) > /dev/null
	ninja -C $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-release
	$(MAKE) --no-print-directory test-sanitize
	$(MAKE) --no-print-directory test-tsan
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(TEST_FUZZ_SECONDS)

# Every test that starts a thread under ThreadSanitizer: the platform's threads and wave
# output, the interpreter's worker, the sound players, the image cache's worker.
TSAN_DIR ?= build-tsan
TSAN_TESTS := platform_tests player_tests sound_tests engine_tests
test-tsan: deps
	@[ -f $(TSAN_DIR)/build.ninja ] || cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DSORVANE_SANITIZE=thread -DSORVANE_BENCH=OFF -DSORVANE_QT=OFF -DSORVANE_WERROR=ON
	ninja -C $(TSAN_DIR) -j $(JOBS) $(TSAN_TESTS) sorvane-cli
	for t in $(TSAN_TESTS); do \
	  TSAN_OPTIONS=halt_on_error=1 SORVANE_AUDIO=null $(TSAN_DIR)/bin/$$t --gtest_brief=1 || exit 1; \
	done

demo-assets:
	stories/demo/make-assets.sh

PLAY_DIR := $(CURDIR)/$(BUILD)/play
PLAY_ARGS := --dialogs ignore --mouse 0:120,465 \
  $(foreach f,60 120 180 240 300 360 420 480 540 600 660 720 780 840 900 960 1020 1080,--click $(f) --snapshot $(shell expr $(f) - 1):$(PLAY_DIR)/frame-$(f).png)

play: build demo-assets
	@if [ -n "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then \
	  echo "Playing the demo story in its window."; \
	  $(BUILD)/bin/sorvane stories/demo; \
	else \
	  echo "No display here: playing the demo story headless with sorvane-cli instead,"; \
	  echo "clicking every second and saving what the screen shows before each click."; \
	  mkdir -p $(PLAY_DIR); \
	  $(BUILD)/bin/sorvane-cli run stories/demo --trace $(PLAY_ARGS); \
	  echo "Snapshots: $(PLAY_DIR)/frame-*.png; the story's log: stories/demo/sorvane.log"; \
	fi

# libFuzzer targets (clang), the libraries under test instrumented too; FUZZ_SECONDS per
# target, each starting from a seed corpus taken from tests/ and the demo story.
FUZZ_SECONDS ?= 60
TEST_FUZZ_SECONDS ?= 5
FUZZ_TARGETS := htmldoc script calc commands ombrix ogg cmdline scenes lint save reader translation
fuzz: deps
	@[ -f $(FUZZ_DIR)/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVANE_FUZZ=ON -DSORVANE_SANITIZE=address,undefined \
	  -DSORVANE_BENCH=OFF -DSORVANE_WERROR=OFF -DSORVANE_QT=OFF
	ninja -C $(FUZZ_DIR) -j $(JOBS) $(addprefix fuzz_,$(FUZZ_TARGETS))
	tests/fuzz/run.sh $(FUZZ_DIR)/bin $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# A Debian package of the installed layout, in $(BUILD)/.
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

clean:
	rm -rf $(BUILD) $(ASAN_DIR) $(FUZZ_DIR) $(TSAN_DIR) $(RELEASE_DIR)
