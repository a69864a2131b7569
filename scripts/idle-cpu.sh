#!/usr/bin/env bash
# Measures what the dock costs while nothing happens: a private Xvfb with openbox, four
# running applications (two xterms, xeyes, xclock), the dock started with a fresh
# configuration, then the CPU time of its process (user + system, from /proc/<pid>/stat)
# over SECONDS seconds (default 60) after a settling pause. Needs build/quayside.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
[ -x build/quayside ] || { echo "build/quayside is missing: run scripts/build.sh quayside" >&2; exit 1; }

source scripts/measure.sh
measure_start_desktop
measure_start_usual_clients
sleep 1
measure_start_dock "${QUAYSIDE_BINARY:-./build/quayside}" dock
dock="$MEASURE_DOCK"
sleep 5

# CPU time of the dock's threads from the scheduler's own accounting, per thread (the
# clock ticks are printed beside it). A pooled thread that ends during the measurement
# takes its share with it; one that starts counts from zero.
hz="$(getconf CLK_TCK)"
measure_thread_cpu "$dock" > "$MEASURE_HOME/cpu-start"
start="$(measure_ticks "$dock")"
sleep "$seconds"
measure_thread_cpu "$dock" > "$MEASURE_HOME/cpu-end"
end="$(measure_ticks "$dock")"
awk -v ta="$start" -v tb="$end" -v hz="$hz" -v s="$seconds" '
  NR == FNR { before[$1] = $2; next }
  { ns += $2 - (($1 in before) ? before[$1] : 0) }
  END {
    cpu = ns / 1e9
    printf "dock CPU time over %d s idle with 4 running applications: %.3f s (%.3f%% of one core); ", s, cpu, 100 * cpu / s
    printf "in clock ticks: %.2f s (%.3f%%)\n", (tb - ta) / hz, 100 * (tb - ta) / hz / s
  }' "$MEASURE_HOME/cpu-start" "$MEASURE_HOME/cpu-end"
