#!/usr/bin/env bash
# Measures the dock panel under a private Xvfb with openbox: the time from exec to the
# panel's window being mapped and painted, with a dock of ITEMS items (default 20:
# the start menu, file items and the trash, plus the running clients), and the resident
# memory of the dock a few seconds later. Needs build/quayside and
# build/quayside_seed_dock. Prints one line per figure. Runs RUNS times (default 5) and
# prints each start time and the median, with the load average, and the main thread's
# processor time up to the first paint (from the program's start-up trace), which a
# loaded machine disturbs far less than the wall-clock time. QUAYSIDE_BIN names another
# build of the program to measure (default build/quayside).
#
# KIND (third argument) says what the file items are: "mixed" (default), folders and
# files every system has, repeated; "folders", ITEMS distinct folders made for the run
# (three files each); "documents", ITEMS distinct documents. The peak resident memory of
# the last run is printed too; a dock whose memory passes QUAYSIDE_MAX_RSS_MB (default
# 4096) before its panel shows is stopped and reported.
set -euo pipefail
cd "$(dirname "$0")/.."
items="${1:-20}"
runs="${2:-5}"
kind="${3:-mixed}"
max_rss_mb="${QUAYSIDE_MAX_RSS_MB:-4096}"
bin="${QUAYSIDE_BIN:-build/quayside}"
[ -x "$bin" ] && [ -x build/quayside_seed_dock ] || {
  echo "build/quayside and build/quayside_seed_dock are needed: run scripts/build.sh" >&2; exit 1; }

source scripts/xsession.sh
xsession_start
home="$(mktemp -d /tmp/quayside-metrics.XXXXXX)"
clients=()
main_shell="$BASHPID"
cleanup() {
  # Only the script itself cleans up (not a command substitution that inherits the trap).
  [ "$BASHPID" = "$main_shell" ] || return 0
  kill "${clients[@]}" ${dock:+"$dock"} 2>/dev/null || true
  xsession_stop
  rm -rf "$home"
}
trap cleanup EXIT

xterm -geometry 80x24+40+40 & clients+=($!)
xeyes -geometry 150x100+700+60 & clients+=($!)
sleep 1
export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache"
# File items (the seed adds the start menu and the trash; the running clients add two).
files=$((items - 4))
case "$kind" in
  mixed) paths=(/usr/share/doc /etc/hosts /usr/bin /etc/passwd /tmp /usr/share/applications/debian-xterm.desktop) ;;
  folders)
    paths=()
    for i in $(seq 1 "$files"); do
      mkdir -p "$home/items/folder $i"
      : > "$home/items/folder $i/a.txt"; : > "$home/items/folder $i/b.png"; : > "$home/items/folder $i/c.pdf"
      paths+=("$home/items/folder $i")
    done ;;
  documents)
    mkdir -p "$home/items"
    paths=()
    for i in $(seq 1 "$files"); do echo "$i" > "$home/items/document $i.txt"; paths+=("$home/items/document $i.txt"); done ;;
  *) echo "unknown kind $kind: mixed, folders or documents" >&2; exit 2 ;;
esac
./build/quayside_seed_dock "$((items - 2))" "${paths[@]}" >/dev/null
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }

times=()
cpus=()
for run in $(seq 1 "$runs"); do
  start="$(date +%s.%N)"
  QUAYSIDE_STARTUP_TRACE=1 "$bin" > "$home/dock.log" 2>&1 & dock=$!
  # The panel is the dock-type window of the program: wait until it is viewable.
  mapped=""
  for _ in $(seq 1 1500); do
    if xdotool search --onlyvisible --name '^Quayside$' >/dev/null 2>&1; then mapped="$(date +%s.%N)"; break; fi
    if [ "$(rss_kb "$dock")" -gt $((max_rss_mb * 1024)) ]; then
      echo "run $run: stopped: the dock passed ${max_rss_mb} MiB before its panel showed"; exit 1
    fi
    sleep 0.002
  done
  if [ -z "$mapped" ]; then echo "run $run: the panel never appeared"; cat "$home/dock.log"; exit 1; fi
  t="$(awk -v a="$start" -v b="$mapped" 'BEGIN { printf "%.3f", b - a }')"
  times+=("$t")
  # The trace line of the first paint comes a moment after the panel is viewable.
  cpu=""
  for _ in $(seq 1 100); do
    cpu="$(sed -n 's/.*(main thread cpu *\([0-9.]*\) ms) *first paint.*/\1/p' "$home/dock.log")"
    [ -n "$cpu" ] && break
    sleep 0.01
  done
  cpus+=("${cpu:-0}")
  echo "run $run: exec to panel on screen: ${t} s (main thread cpu to first paint ${cpu:-?} ms; load $(cut -d' ' -f1 /proc/loadavg))"
  if [ "$run" -eq "$runs" ]; then
    sleep 4
    rss="$(rss_kb "$dock")"
    peak="$(awk '/^VmHWM/ {print $2}' "/proc/$dock/status")"
    echo "resident memory after 4 s with ${items} items ($kind): $((rss / 1024)) MiB (${rss} kB); peak $((peak / 1024)) MiB"
  fi
  kill -TERM "$dock"; wait "$dock" 2>/dev/null || true; dock=""
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print "median exec to panel on screen: " a[int((NR+1)/2)] " s (" a[1] " - " a[NR] ")"}'
printf '%s\n' "${cpus[@]}" | sort -n | awk '{a[NR]=$1} END {print "median main thread cpu to first paint: " a[int((NR+1)/2)] " ms (" a[1] " - " a[NR] ")"}'
