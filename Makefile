# The two fresh-machine commands are `make run` and `make test`; both bootstrap first.
BUILD ?= build
JOBS  ?= $(shell nproc)
ARGS  ?= /s

.PHONY: bootstrap configure build run test bench-build bench package fuzz clean

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/pellora $(ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The Release build the benchmarks time. CI compiles it as well, so that it stays warning-free.
bench-build: bootstrap
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-bench -j $(JOBS)

bench: bench-build
	@scripts/bootstrap bench
	@for b in build-bench/bench/bench_*; do echo "== $$b"; $$b || exit 1; done
	scripts/bench-blur build-bench

# The Debian package, from a Release build of the programs alone: build-release/pellora_*.deb.
package: bootstrap
	@cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DPELLORA_TESTS=OFF -DPELLORA_BENCH=OFF >/dev/null
	@cmake --build build-release -j $(JOBS)
	cd build-release && cpack -G DEB

clean:
	rm -rf $(BUILD) build-bench build-sanitize build-release
