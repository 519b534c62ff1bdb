# VoidCrawl: the three commands people need.
#   make       build everything (game, headless runner, data set, tests) in build/
#   make run   install missing packages, build the game and its data, play
#   make test  install missing packages (test tools too), build, run every test

BUILD_DIR := build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all configure run test deps deps-test clean

all: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

run: deps
	$(MAKE) --no-print-directory configure
	cmake --build $(BUILD_DIR) --target voidcrawl -j$(JOBS)
	./$(BUILD_DIR)/voidcrawl

test: deps-test
	$(MAKE) --no-print-directory all
	cd $(BUILD_DIR) && ctest --output-on-failure

deps:
	@bash tools/install-deps.sh run

deps-test:
	@bash tools/install-deps.sh test

clean:
	rm -rf $(BUILD_DIR)
