# The two commands for a newcomer: `make demo` and `make test`.
PACKAGES := cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
            nlohmann-json3-dev libpng-dev zlib1g-dev

.PHONY: deps build demo test test-asan bench clean

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
	cmake --preset default >/dev/null
	cmake --build --preset default

demo: build
	./build/bin/tiller play examples/bracket.json --out out/demo

test: build
	ctest --preset default

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release --target tiller_bench
	./build-release/bin/tiller_bench

clean:
	rm -rf build build-asan build-release out
