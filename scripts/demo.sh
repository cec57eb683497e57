#!/usr/bin/env bash
# The whole cycle on generated sample files: installs what is missing, builds, runs `eitool demo`.
# Arguments are passed on to `eitool demo` (a directory to work in).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh --target eitool
exec build/cli/eitool demo "$@"
