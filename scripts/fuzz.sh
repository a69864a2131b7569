#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each from its corpus in
# tests/fuzz/corpus/<target>/ for a bounded time, the targets side by side. Fails when a
# target finds a crash, a sanitizer error, a hang (over 10 s for one input), a memory
# blow-up (over 2 GiB) or a broken invariant: the input is kept in
# build-fuzz/findings/<target>/ and its report printed. Leak checks are off (the
# program's process-long singletons would be reported).
#
#   FUZZ_SECONDS   seconds each target runs (default 60)
#   FUZZ_TARGETS   the targets to run (default: all of them)
#   FUZZ_BUILD_JOBS  build jobs (default: the number of cores)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
read -r -a targets <<< "${FUZZ_TARGETS:-plist_binary plist_xml archive_model archive_config desktop_entry}"

bash scripts/deps.sh
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUAYSIDE_FUZZ=ON -DQUAYSIDE_BENCHMARKS=OFF > /dev/null
cmake --build build-fuzz -j"${FUZZ_BUILD_JOBS:-$(nproc)}" --target "${targets[@]/#/fuzz_}" > build-fuzz/build.log 2>&1 ||
  { tail -50 build-fuzz/build.log; exit 1; }

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
pids=()
for t in "${targets[@]}"; do
  # New inputs go to a working corpus in the build folder; the repository's is read only.
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t"
  build-fuzz/tests/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=2 \
    -artifact_prefix="build-fuzz/findings/$t/" "build-fuzz/corpus/$t" "tests/fuzz/corpus/$t" \
    > "build-fuzz/$t.log" 2>&1 &
  pids+=($!)
done

failed=0
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  if wait "${pids[$i]}"; then
    echo "fuzz_$t: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "build-fuzz/$t.log" | tail -1), nothing found"
  else
    failed=1
    echo "fuzz_$t FOUND A FAULT:"
    grep -Ev '^(quayside:|    #[0-9]+ 0x)' "build-fuzz/$t.log" | tail -12
    for input in "build-fuzz/findings/$t"/*; do
      [ -f "$input" ] || continue
      echo "--- $input (add it to tests/fuzz/corpus/$t/ with a test, then mend):"
      build-fuzz/tests/fuzz/fuzz_"$t" "$input" 2>&1 | grep -Ev '^(quayside:|INFO:|    #[0-9]+ 0x)' | tail -40 || true
    done
  fi
done
exit $failed
