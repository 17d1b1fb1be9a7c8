# Glimmark: `make test` and `make demo` do the whole set-up on a fresh Debian 12.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
# CLI_ONLY=1: the command alone, on a machine without Qt or GoogleTest.
ifeq ($(CLI_ONLY),1)
DEPS_FLAGS := --cli-only
CMAKE_FLAGS += -DGLIMMARK_STUDIO=OFF -DGLIMMARK_TESTS=OFF
endif
# Where `make install` puts the programs (DESTDIR is honoured too).
PREFIX ?= /usr/local
# Seconds each fuzz target runs under `make fuzz` (twelve targets: the CI
# run's fuzz step stays near six minutes; long runs are made by hand with
# fuzz/run.sh).
FUZZ_SECONDS ?= 30
# Events of `make monkey`, the long run of the studio's random-event test
# (no time limit; MONKEY_SEED picks the seed).
MONKEY_EVENTS ?= 20000
# The tests that start a render thread, stop it or close a window while it
# runs, trace rows on several cores, or interrupt the command (the real
# program; a forked child of the test itself once missed its signal for 10 s
# under TSan).
TSAN_TESTS ?= TraceController|RenderThread|RenderJob|RenderFrame|StudioRuns|StudioWindow|RenderCommand|RecordCommand|RecordVideo|StudioLivePreview|PngBands|BvhMatchesLinearScan|Playground|StopLoop|ParallelRender|ParallelChain|FrameEquality|ThreadsOption|RowsOption|ProgressOption|InterruptedRe|Lsp

# What the sanitizer builds need: the test programs, the command they run and
# the help page the studio tests read, the README's embedding example (not the
# benchmarks or the fuzzers).
CHECK_TARGETS ?= glimmark gmk_help_page test_core test_shapes test_scene test_language test_render test_run \
  test_memory test_record test_cli test_app test_web test_lsp glimmark_embedding_example textmate_grammar
# The sanitizer builds optimise less and keep only line tables: they compile
# in little more than half the time, and the sanitizers' stacks still name
# file and line.
SANITIZER_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
TSAN_TARGETS ?= glimmark gmk_help_page test_shapes test_render test_run test_record test_cli test_app test_web test_lsp

.PHONY: all deps configure build test demo studio format bench clean sanitize tsan fuzz fuzz-build \
  install package farm-test web web-node-test vscode monkey

all: build

deps:
	./scripts/install-deps.sh $(DEPS_FLAGS)

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian packages glimmark, glimmark-video, glimmark-studio and
# python3-glimmark, in
# $(BUILD)/packages/.
package: build
	cmake --build $(BUILD) --target package

demo: build
	./scripts/demo.sh $(BUILD)

studio: build
	./$(BUILD)/glimmark-studio examples/showcase.gmk

# A one-node Slurm cluster runs scripts/farm/slurm-frames.sbatch (also part
# of `make test`, as FarmSlurm); skipped, saying why, where Slurm cannot start.
farm-test: build
	./scripts/farm/slurm-test.sh $(BUILD) || [ $$? = 77 ]

# The studio under MONKEY_EVENTS random events (`make test` sends 2,000).
monkey: build
	./tests/monkey/monkey_test.sh $(BUILD)/glimmark_studio_monkey examples \
	  --events $(MONKEY_EVENTS) --seconds 0

bench: build
	./bench/run.sh $(BUILD)

format:
	find core shapes scene language render record run lsp editors app cli python tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

# AddressSanitizer and UndefinedBehaviorSanitizer over the whole test suite.
sanitize: deps
	cmake -S . -B build-asan -DGLIMMARK_SANITIZE=ON $(SANITIZER_FLAGS)
	cmake --build build-asan -j $(JOBS) --target $(CHECK_TARGETS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 1800

# ThreadSanitizer over the tests that involve the render thread.
tsan: deps
	cmake -S . -B build-tsan -DGLIMMARK_TSAN=ON $(SANITIZER_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TARGETS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan.supp \
	  ctest --output-on-failure -j $(JOBS) --timeout 1800 -R '$(TSAN_TESTS)'

fuzz-build:
	GLIMMARK_EXTRA_DEPS=1 ./scripts/install-deps.sh
	cmake -S . -B build-fuzz -DGLIMMARK_FUZZ=ON -DGLIMMARK_STUDIO=OFF \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS) --target fuzz_build_trace fuzz_check \
	  fuzz_texture_png fuzz_texture_jpeg fuzz_texture_bitmap fuzz_band_record \
	  fuzz_model_file_obj fuzz_model_file_ply fuzz_model_file_stl fuzz_model_file_gltf fuzz_model_file_glb \
	  fuzz_lsp_messages

# Each target runs FUZZ_SECONDS on a working corpus seeded from fuzz/seeds;
# crashes land in build-fuzz/crashes.
fuzz: fuzz-build
	./fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)

# The VS Code extension, packaged as $(BUILD)/glimmark-<version>.vsix: its
# grammar made from the vocabulary by the build, its client library and vsce
# from npm (editors/vscode/package-lock.json, installed by `make deps`).
VSCODE_VERSION = $(shell node -p "require('./editors/vscode/package.json').version")
vscode: configure
	cmake --build $(BUILD) -j $(JOBS) --target textmate_grammar
	mkdir -p editors/vscode/syntaxes
	cp $(BUILD)/editors/glimmark.tmLanguage.json editors/vscode/syntaxes/
	cp LICENSE editors/vscode/LICENSE
	cd editors/vscode && ./node_modules/.bin/vsce package --allow-missing-repository \
	  --out $(abspath $(BUILD))/glimmark-$(VSCODE_VERSION).vsix

# The browser playground's WebAssembly build, in build-web/: the module and
# its worker in build-web/site/, and the bridge's renderer for node.
# emcc runs on Node.js and needs the acorn module install-deps.sh puts in
# .web-tools/.
WEB_BUILD ?= build-web
WEB_ENV = NODE_PATH=$(CURDIR)/.web-tools/node_modules
web:
	./scripts/install-deps.sh --web
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release
	$(WEB_ENV) cmake --build $(WEB_BUILD) -j $(JOBS) --target glimmark_web gmk_bridge_render
	cp web/src/worker.js $(WEB_BUILD)/site/

# Every example traced by the WebAssembly build under node, compared byte for
# byte with the command's pictures.
web-node-test: web
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target glimmark
	./web/test/node-test.sh $(WEB_BUILD) $(BUILD)

# The browser playground's page and its browser tests.
include web/page.mk
