#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs them: the unit tests (offscreen, on the simulated desktop), then the X11 and
# integration tests inside a private Xvfb with openbox. A memory error, a leak or undefined
# behaviour stops the test program that met it, and the run fails. Arguments go to ctest
# (for example -R core_tests). Uses ccache when it is installed, and as many jobs as there
# are processors unless QUAYSIDE_JOBS says otherwise.
#
# What is not reported, and why, is in scripts/sanitize.supp (a library's leak, none of
# the program's own).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache > /dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
jobs="${QUAYSIDE_JOBS:-$(nproc)}"
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# Assertions stay on; -O1 keeps the build and the tests quick.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DQUAYSIDE_BENCHMARKS=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" > build-asan.log 2>&1 || { cat build-asan.log; exit 1; }
tests=(foundation_tests desktop_tests core_tests toolkit_tests dock_ui_tests tracking_tests preferences_tests
       x11_tests integration_tests)
targets=()
for t in "${tests[@]}"; do targets+=(--target "$t"); done
cmake --build build-asan -j"$jobs" "${targets[@]}" >> build-asan.log 2>&1 || { tail -n 80 build-asan.log; exit 1; }

export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$PWD/scripts/sanitize.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
source scripts/xsession.sh
xsession_start
trap xsession_stop EXIT
ctest --test-dir build-asan --output-on-failure --timeout 900 -j"$jobs" "$@"
