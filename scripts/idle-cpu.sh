#!/usr/bin/env bash
# Measures what the dock costs while nothing happens: a private Xvfb with openbox, four
# running applications (two xterms, xeyes, xclock), the dock started with a fresh
# configuration, then the CPU time of its process (user + system, from /proc/<pid>/stat)
# over SECONDS seconds (default 60) after a settling pause. Needs build/quayside.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
[ -x build/quayside ] || { echo "build/quayside is missing: run scripts/build.sh quayside" >&2; exit 1; }

source scripts/xsession.sh
xsession_start
home="$(mktemp -d /tmp/quayside-idle.XXXXXX)"
clients=()
cleanup() {
  kill "${clients[@]}" "${dock:-}" 2>/dev/null || true
  # Only what this script started is waited for; the X session ends itself.
  wait "${clients[@]}" ${dock:+"$dock"} 2>/dev/null || true
  xsession_stop
  rm -rf "$home"
}
trap cleanup EXIT

xterm -geometry 80x24+40+40 & clients+=($!)
xterm -geometry 80x24+200+200 & clients+=($!)
xeyes -geometry 150x100+700+60 & clients+=($!)
xclock -geometry 150x150+900+60 & clients+=($!)
sleep 1
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
  "${QUAYSIDE_BINARY:-./build/quayside}" > "$home/dock.log" 2>&1 & dock=$!
sleep 5

# CPU time of the dock's threads from the scheduler's own accounting
# (/proc/<pid>/task/<tid>/schedstat, nanoseconds), per thread: the clock-tick counts of
# /proc/<pid>/stat are too coarse for a process that wakes for a fraction of a
# millisecond now and then (they are printed beside it). A pooled thread that ends during
# the measurement takes its share with it; one that starts counts from zero.
per_thread() { for f in /proc/"$dock"/task/*/schedstat; do t="${f%/schedstat}"; echo "${t##*/} $(cut -d' ' -f1 "$f" 2>/dev/null)"; done; }
ticks() { awk '{print $14 + $15}' "/proc/$dock/stat"; }
hz="$(getconf CLK_TCK)"
per_thread > "$home/cpu-start"
start="$(ticks)"
sleep "$seconds"
per_thread > "$home/cpu-end"
end="$(ticks)"
awk -v ta="$start" -v tb="$end" -v hz="$hz" -v s="$seconds" '
  NR == FNR { before[$1] = $2; next }
  { ns += $2 - (($1 in before) ? before[$1] : 0) }
  END {
    cpu = ns / 1e9
    printf "dock CPU time over %d s idle with 4 running applications: %.3f s (%.3f%% of one core); ", s, cpu, 100 * cpu / s
    printf "in clock ticks: %.2f s (%.3f%%)\n", (tb - ta) / hz, 100 * (tb - ta) / hz / s
  }' "$home/cpu-start" "$home/cpu-end"
