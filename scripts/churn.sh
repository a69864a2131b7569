#!/usr/bin/env bash
# Measures what window churn costs the dock: a private Xvfb with openbox, four running
# applications, the dock started with a fresh configuration, then short-lived X clients
# (xlogo) opened and closed in bursts. Prints the dock's processor time spent on them
# (all its threads, from the scheduler's accounting) per client, and its resident memory,
# open descriptors and threads before and after: what grows with the clients is a leak.
#
#   scripts/churn.sh [--clients N] [--burst B]
#
# Defaults: 40 clients in bursts of 10; the soak is --clients 1000. With QUAYSIDE_BIN
# naming another build of the program, both docks run side by side through the same
# clients, and the figures of this build (build/quayside, or QUAYSIDE_THIS) are also given
# as ratios to that baseline, which a noisy machine disturbs less than the figures themselves. Each dock
# has a private desktop of its own; the clients of a burst start on all of them at once.
#
# Each measurement starts and ends with the docks settled (quiet for longer than their
# delayed steps); each burst waits until all its windows are mapped, then until they are
# gone and their processes have ended.
set -euo pipefail
cd "$(dirname "$0")/.."
clients=40
burst=10
while [ $# -gt 0 ]; do
  case "$1" in
    --clients) clients="$2"; shift 2 ;;
    --burst) burst="$2"; shift 2 ;;
    *) echo "usage: $0 [--clients N] [--burst B]" >&2; exit 2 ;;
  esac
done
[ "$clients" -gt 0 ] && [ "$burst" -gt 0 ] || { echo "--clients and --burst take positive numbers" >&2; exit 2; }
this="${QUAYSIDE_THIS:-build/quayside}"
[ -x "$this" ] || { echo "$this is missing: run scripts/build.sh quayside" >&2; exit 1; }

source scripts/measure.sh
names=(this)
bins=("$this")
if [ -n "${QUAYSIDE_BIN:-}" ]; then
  names+=(baseline)
  bins+=("$QUAYSIDE_BIN")
fi
# Each dock on a desktop of its own, with the same running applications and the same
# clients: two docks on one desktop would see each other's windows and panels.
docks=()
displays=()
for i in "${!names[@]}"; do
  measure_start_desktop
  measure_start_usual_clients
  measure_wait_for 30 sh -c '[ "$(xdotool search --onlyvisible --class "^(XTerm|XEyes|XClock)$" 2>/dev/null | wc -l)" -ge 4 ]' ||
    { echo "the running applications did not show their windows" >&2; exit 1; }
  measure_start_dock "${bins[$i]}" "${names[$i]}"
  docks+=("$MEASURE_DOCK")
  displays+=("$DISPLAY")
done

measure_settle 2.5 "${docks[@]}" || echo "note: a dock did not settle before the measurement" >&2
declare -A before=()
for d in "${docks[@]}"; do
  before[$d]="$(measure_footprint "$d")"
  measure_cpu_sample "$d" "$MEASURE_HOME/cpu-$d"
done
sample_all() { for d in "${docks[@]}"; do measure_cpu_sample "$d" "$MEASURE_HOME/cpu-$d"; done; }
churn_windows() {
  local d
  for d in "${displays[@]}"; do DISPLAY="$d" xdotool search --onlyvisible --classname '^qschurn' 2>/dev/null; done | wc -l
}

started="$(date +%s.%N)"
done_clients=0
while [ "$done_clients" -lt "$clients" ]; do
  n=$((clients - done_clients < burst ? clients - done_clients : burst))
  pids=()
  for i in $(seq 1 "$n"); do
    k=$((done_clients + i))
    # The desktops take turns at being first, so that neither dock is always served first.
    order=("${displays[@]}")
    [ $((k % 2)) -eq 1 ] && [ "${#order[@]}" -gt 1 ] && order=("${order[1]}" "${order[0]}")
    for d in "${order[@]}"; do
      DISPLAY="$d" xlogo -name "qschurn$k" -geometry "120x120+$((300 + (k % 8) * 130))+$((250 + (k / 8 % 3) * 140))" \
        >> "$MEASURE_HOME/clients.log" 2>&1 &
      pids+=($!)
    done
  done
  deadline=$((SECONDS + 60))
  until [ "$(churn_windows)" -ge "$((n * ${#displays[@]}))" ]; do
    [ "$SECONDS" -ge "$deadline" ] && { echo "a burst's windows did not all map" >&2; exit 1; }
    sample_all
    sleep 0.05
  done
  kill "${pids[@]}" 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
  deadline=$((SECONDS + 60))
  until [ "$(churn_windows)" -eq 0 ]; do
    [ "$SECONDS" -ge "$deadline" ] && { echo "a burst's windows did not go" >&2; exit 1; }
    sample_all
    sleep 0.05
  done
  done_clients=$((done_clients + n))
done
seconds="$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')"
# Sampled while the docks settle: the work the clients left behind (the refresh that
# clears applications that have gone) counts too.
measure_settle 2.5 "${docks[@]}" || echo "note: a dock did not settle after the clients" >&2
sample_all

echo "$clients clients (xlogo) opened and closed in bursts of $burst over $seconds s:"
declare -A perClient=() rssGrowth=()
for i in "${!docks[@]}"; do
  d="${docks[$i]}"
  ns="$(measure_cpu_spent "$MEASURE_HOME/cpu-$d")"
  read -r rss0 fds0 thr0 <<< "${before[$d]}"
  read -r rss1 fds1 thr1 <<< "$(measure_footprint "$d")"
  perClient[$i]="$(awk -v ns="$ns" -v n="$clients" 'BEGIN { printf "%.3f", ns / 1e6 / n }')"
  rssGrowth[$i]=$((rss1 - rss0))
  printf '  %-8s (%s): CPU %.1f ms, %s ms a client; resident %d -> %d kB (%+d); descriptors %d -> %d; threads %d -> %d\n' \
    "${names[$i]}" "${bins[$i]}" "$(awk -v ns="$ns" 'BEGIN { print ns / 1e6 }')" "${perClient[$i]}" \
    "$rss0" "$rss1" "$((rss1 - rss0))" "$fds0" "$fds1" "$thr0" "$thr1"
done
if [ "${#docks[@]}" -gt 1 ]; then
  awk -v a="${perClient[0]}" -v b="${perClient[1]}" \
    'BEGIN { if (b > 0) printf "  this build / baseline: CPU a client %.2f\n", a / b; else print "  the baseline spent no CPU" }'
fi
