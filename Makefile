# Pacewick: a Windows program, cross-built with mingw-w64 and tested under Wine.
#   make test   install what is missing, build, run every test
#   make run    build and start the program in a Wine prefix
#   make stress 200 kills of the program during its take-over (tests/app/kills.sh),
#               200 rounds of two processes of one account restoring and taking over,
#               200 kills during a Startup folder's take-over and restore,
#               200 damaged shortcuts taken over by the running program,
#               200 rounds of links planted where the Startup folders' items move
BUILD ?= build
BUILD_I686 ?= build-i686
TOOLCHAIN := cmake/mingw-w64-x86_64.cmake
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test stress run bench bench-logon i686 clean

all: build

deps:
	tools/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release

configure: $(BUILD)/CMakeCache.txt

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)
	@for f in $(BUILD)/bin/pacewick.exe $(BUILD)/pacewick.msi $(BUILD)/PacewickManual.chm; do \
	  [ -f $$f ] && printf '%-32s %9d bytes\n' "$$f" "$$(stat -c %s $$f)"; done; true

test: build
	tools/with-wine $(BUILD) ctest --test-dir $(BUILD) --output-on-failure

# The kill test of `make test` at length: the program killed 200 times at seeded
# random moments of its take-over of 200 values, the keys checked after each kill.
STRESS_KILLS ?= 200
# The same count of kills of tests/fixtures/folder_rounds.cpp (tests/lists).
# And one process of an account restoring while another takes over, rounds each
# (tests/takeover/TakeOverTest.cpp, tests/fixtures/account_rounds.cpp); as many
# rounds of links planted where the Startup folders' items move (tests/lists).
# And as many seeded damaged shortcuts put into a Startup folder (tests/app/shortcuts.sh).
STRESS_ROUNDS ?= 200
STRESS_BUILD = $(abspath $(BUILD))
stress: build
	bash tests/app/kills.sh $(STRESS_BUILD) $(STRESS_BUILD)/bin/pacewick.exe $(STRESS_BUILD)/bin/record_launch.exe \
	  $(STRESS_BUILD)/bin/app_probe.exe $(STRESS_BUILD)/pacewick.msi $(STRESS_BUILD)/bin/takeover_killer.exe \
	  $(STRESS_KILLS) 200
	tools/with-wine $(BUILD) env PACEWICK_ACCOUNT_ROUNDS=$(STRESS_ROUNDS) wine $(BUILD)/bin/test_takeover.exe \
	  --gtest_filter='TakeOver.BesideARestoreInAnotherProcessOfTheAccountLosesNothing'
	tools/with-wine $(BUILD) env PACEWICK_FOLDER_KILLS=$(STRESS_KILLS) wine $(BUILD)/bin/test_lists.exe \
	  --gtest_filter='StartupFolder.KilledAtAnyMomentLosesNoItem'
	PACEWICK_SHORTCUT_ROUNDS=$(STRESS_ROUNDS) bash tests/app/shortcuts.sh $(STRESS_BUILD) $(STRESS_BUILD)/bin/pacewick.exe \
	  $(STRESS_BUILD)/bin/record_launch.exe $(STRESS_BUILD)/bin/app_probe.exe $(STRESS_BUILD)/pacewick.msi
	tools/with-wine $(BUILD) env PACEWICK_LINK_ROUNDS=$(STRESS_ROUNDS) wine $(BUILD)/bin/test_lists.exe \
	  --gtest_filter='StartupFolder.LinksPlantedAtRandomPlacesMoveNothingOutside'

# A demo in a fresh Wine prefix: install, take-over, countdown, launch (tools/demo).
run: build
	tools/demo $(BUILD)

# The engine's benchmarks in the build folder's prefix, then the installed
# program timed end to end in a fresh prefix of its own (bench/installed.sh).
# The take-over benchmark counts registry calls, each a round trip to the Wine
# server: it runs with its server on one CPU, where a round trip costs the same
# every time (between two CPUs of a shared machine its cost swings threefold).
PINNED_BENCH := $(BUILD)/bin/bench_takeover.exe
bench: build
	@echo "== $(PINNED_BENCH) (with its Wine server on CPU $$(($$(nproc) - 1)))"
	taskset -c $$(($$(nproc) - 1)) tools/with-wine $(BUILD) wine $(PINNED_BENCH)
	tools/with-wine $(BUILD) env WINEDEBUG=+server wine $(PINNED_BENCH) --one-empty-take-over 2>&1 | \
	  awk -f bench/server_requests.awk
	tools/with-wine $(BUILD) sh -c 'for b in $(BUILD)/bin/bench_*.exe; do [ "$$b" = $(PINNED_BENCH) ] && continue; echo "== $$b"; wine "$$b" || exit 1; done'
	bench/installed.sh $(BUILD)
	awk -f bench/plot.awk $(BUILD)/bench-installed/results.txt > $(BUILD)/newcomer-wait.svg
	@echo "plot: $(BUILD)/newcomer-wait.svg (docs/newcomer-wait.svg is the README's copy)"

# A simulated log-on on the installed package, five scenarios interleaved RUNS
# times (bench/logon/logon.sh); the plot goes to docs/ for the README.
RUNS ?= 10
bench-logon: deps configure
	cmake --build $(BUILD) -j $(JOBS) --target pacewick_msi logon_load logon_probe logon_sampler logon_firstapp logon_stagger
	RUNS=$(RUNS) bench/logon/logon.sh $(BUILD)
	cp $(BUILD)/logon-lateness.svg docs/logon-lateness.svg

# The same sources for 32-bit Windows: built to keep them portable, not tested.
i686: deps
	cmake -S . -B $(BUILD_I686) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release -DPACEWICK_BUILD_TESTS=OFF
	cmake --build $(BUILD_I686) -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD_I686)
