#!/usr/bin/env bash
# Configures and builds eitool (release build with tests and benchmarks) into ./build.
# Arguments are passed on to `cmake --build` (for example --target eitool).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh build
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" "$@"
