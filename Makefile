# The two commands for a newcomer: `make demo` and `make test`.
PACKAGES := cmake g++ clang make pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
            nlohmann-json3-dev rapidjson-dev libpng-dev zlib1g-dev valgrind libcpp-httplib-dev chromium \
            libocct-foundation-dev libocct-modeling-data-dev libocct-modeling-algorithms-dev \
            libocct-ocaf-dev libocct-visualization-dev libocct-data-exchange-dev libtbb-dev

# Extra CMake cache settings for the configure steps, e.g. CMAKE_ARGS=-DTILLER_WERROR=ON.
CMAKE_ARGS ?=

.PHONY: deps build demo assembly test test-asan sweep bench fuzz docs format-check test-ratio view clean

# node and npm may come from elsewhere than Debian; only their commands are looked for.
deps:
	@missing=""; for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	command -v npm >/dev/null 2>&1 || missing="$$missing nodejs npm"; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "missing packages; run:"; echo "  sudo apt-get update && sudo apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi
	@# The viewer's page and browser tests: three.js and playwright-core as package-lock.json pins them.
	@[ -d web/node_modules ] || (cd web && npm ci --no-audit --no-fund)

build: deps
	cmake --preset default $(CMAKE_ARGS) >/dev/null
	cmake --build --preset default

demo: build
	./build/bin/tiller play examples/assembly.json --out out/demo
	./build/bin/tiller play examples/bracket.json --out out/demo/bracket

# Rewrites the sample assembly the demo and the tests open, after a change to its model.
assembly: build
	./build/bin/tiller-assembly examples/assembly.step

test: build
	ctest --preset default

# The browser viewer on the demo bracket; Ctrl+C stops it.
view: build
	./build/bin/tiller view examples/bracket.json

test-asan: deps
	cmake --preset asan $(CMAKE_ARGS) >/dev/null
	cmake --build --preset asan
	ctest --preset asan

# The whole-session fault sweep: every failing host-record creation, then every failing
# operator new, each in its own process, two at once (make test-asan runs a sample of both);
# then the record failures again in a perspective viewport, whose drags build their planes.
sweep: build
	cmake --build --preset default --target tiller-sweep
	./build/bin/tiller-sweep records --jobs 2
	./build/bin/tiller-sweep new --jobs 2
	./build/bin/tiller-sweep records --jobs 2 --perspective

# Instruction counts (callgrind) and wall medians of every case, then the wall-time benchmarks.
bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release --target tiller_icount tiller_bench tiller_bench_cad
	./build-release/bin/tiller_icount
	./build-release/bin/tiller_bench
	./build-release/bin/tiller_bench_cad

# Fuzzing takes clang's libFuzzer and its own tree; FUZZ_SECONDS per fuzzer, findings in build-fuzz/.
# The profile fuzzer starts from the test corpus and the shipped profiles.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz --target fuzz_exports fuzz_qvw fuzz_profile
	mkdir -p build-fuzz/corpus/qvw build-fuzz/corpus/exports build-fuzz/corpus/profile
	./build-fuzz/bin/fuzz_qvw -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=build-fuzz/ build-fuzz/corpus/qvw \
	    tests/refhost/qvw_corpus build-fuzz/GCtrlProfiles
	./build-fuzz/bin/fuzz_exports -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=build-fuzz/ -max_len=512 -len_control=0 \
	    build-fuzz/corpus/exports
	./build-fuzz/bin/fuzz_profile -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=build-fuzz/ -max_len=1048576 \
	    build-fuzz/corpus/profile tests/refhost/qvw_corpus build-fuzz/GCtrlProfiles

# The handle galleries of the shipped profiles and of the authoring guide's worked example, in
# docs/gallery/ (generated, not kept in git); every profile must lint clean first. The guide's
# pictures in docs/images/authoring/ are copied from the galleries.
DOC_PROFILES := build/GCtrlProfiles/UniversalCtrl.qvw build/GCtrlProfiles/UniversalCtrlSimple.qvw \
                docs/examples/FatArrow.qvw
GUIDE_PICTURES := UniversalCtrl/AxisX-iso-mouseout UniversalCtrl/AxisX-iso-mouseover \
                  UniversalCtrl/AxisX-iso-active UniversalCtrl/RotateZ-iso-mouseout \
                  UniversalCtrl/ScaleGripXPlus-iso-mouseout UniversalCtrl/Bounding_box_facets-iso-mouseover \
                  FatArrow/FatArrowX-iso-mouseout
docs: build
	@for p in $(DOC_PROFILES); do \
	  ./build/bin/tiller lint $$p > build/lint.txt || { cat build/lint.txt; exit 1; }; tail -n 1 build/lint.txt; \
	  ./build/bin/tiller gallery $$p --out docs/gallery/$$(basename $$p .qvw) || exit 1; \
	done
	./build/bin/tiller play docs/examples/fat-arrow.json --out docs/gallery/fat-arrow-session >/dev/null
	@mkdir -p docs/images/authoring
	@for f in $(GUIDE_PICTURES); do cp docs/gallery/$$f.png docs/images/authoring/$$(basename $$f).png; done
	@echo "galleries: docs/gallery/*/index.html"

# Every tracked C++ file as .clang-format lays it out.
format-check: PACKAGES += clang-format
format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# The size of the tests against the code they test.
test-ratio:
	@tools/test-ratio

clean:
	rm -rf build build-asan build-release build-fuzz out
