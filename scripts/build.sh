#!/usr/bin/env bash
# Configures and builds Quayside into build/ (the program is build/quayside). Arguments
# name the targets to build (default: everything, tests included).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > build.log 2>&1 || { cat build.log; exit 1; }
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j"$(nproc)" "${targets[@]}" >> build.log 2>&1 || { tail -n 80 build.log; exit 1; }
