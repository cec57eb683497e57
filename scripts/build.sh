#!/usr/bin/env bash
# Configures and builds eitool (release build with tests and benchmarks) into ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" "$@"
