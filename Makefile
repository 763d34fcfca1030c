# The two commands for a newcomer: `make demo` and `make test`.
PACKAGES := cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
            nlohmann-json3-dev libpng-dev zlib1g-dev

# Extra CMake cache settings for the configure steps, e.g. CMAKE_ARGS=-DTILLER_WERROR=ON.
CMAKE_ARGS ?=

.PHONY: deps build demo test test-asan bench fuzz format-check test-ratio clean

deps:
	@missing=""; for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "missing packages; run:"; echo "  sudo apt-get update && sudo apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi

build: deps
	cmake --preset default $(CMAKE_ARGS) >/dev/null
	cmake --build --preset default

demo: build
	./build/bin/tiller play examples/bracket.json --out out/demo

test: build
	ctest --preset default

test-asan: deps
	cmake --preset asan $(CMAKE_ARGS) >/dev/null
	cmake --build --preset asan
	ctest --preset asan

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release --target tiller_bench
	./build-release/bin/tiller_bench

# Fuzzing takes clang's libFuzzer and its own tree; FUZZ_SECONDS per fuzzer, findings in build-fuzz/.
# The profile fuzzer starts from the test corpus and the shipped profiles.
FUZZ_SECONDS ?= 60
fuzz: PACKAGES += clang
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

# Every tracked C++ file as .clang-format lays it out.
format-check: PACKAGES += clang-format
format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# The size of the tests against the code they test.
test-ratio:
	@tools/test-ratio

clean:
	rm -rf build build-asan build-release build-fuzz out
