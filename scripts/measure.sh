#!/usr/bin/env bash
# Sourced by the measuring scripts: a private desktop (Xvfb + openbox, from xsession.sh)
# with a scratch folder, running clients, docks started with fresh configurations, and
# what a dock process costs: its processor time over all its threads, resident memory,
# open descriptors and threads. measure_stop (run on exit) ends what was started here.
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

MEASURE_HOME=
MEASURE_PIDS=()
MEASURE_MAIN_SHELL=
# The desktops started before the current one: "pids|folder" of each.
MEASURE_OTHER_SESSIONS=()

measure_stop() {
  # Only the script itself cleans up (not a command substitution that inherits the trap).
  [ "$BASHPID" = "$MEASURE_MAIN_SHELL" ] || return 0
  local p
  for p in "${MEASURE_PIDS[@]:-}"; do [ -n "$p" ] && { kill "$p" 2>/dev/null || true; }; done
  # Only what was started here is waited for; the X session ends itself.
  for p in "${MEASURE_PIDS[@]:-}"; do [ -n "$p" ] && { wait "$p" 2>/dev/null || true; }; done
  MEASURE_PIDS=()
  xsession_stop
  local session
  for session in "${MEASURE_OTHER_SESSIONS[@]:-}"; do
    [ -n "$session" ] || continue
    XSESSION_PIDS=(${session%%|*})
    XSESSION_DIR="${session#*|}"
    xsession_stop
  done
  MEASURE_OTHER_SESSIONS=()
  [ -n "$MEASURE_HOME" ] && rm -rf "$MEASURE_HOME"
  MEASURE_HOME=
  return 0
}

# Starts the desktop and the scratch folder ($MEASURE_HOME); ends both on exit. Called
# again, it starts another desktop (DISPLAY names the newest); all end on exit.
measure_start_desktop() {
  if [ -n "$MEASURE_HOME" ]; then
    MEASURE_OTHER_SESSIONS+=("${XSESSION_PIDS[*]}|$XSESSION_DIR")
    XSESSION_PIDS=()
    XSESSION_DIR=
    xsession_start
    return
  fi
  MEASURE_MAIN_SHELL="$BASHPID"
  trap measure_stop EXIT
  xsession_start
  MEASURE_HOME="$(mktemp -d /tmp/quayside-measure.XXXXXX)"
}

# Starts a client that lives until the end (its output goes to the scratch folder).
measure_start_client() {
  "$@" >> "$MEASURE_HOME/clients.log" 2>&1 &
  MEASURE_PIDS+=($!)
}

# The usual running applications: two xterms, xeyes and xclock.
measure_start_usual_clients() {
  measure_start_client xterm -geometry 80x24+40+40
  measure_start_client xterm -geometry 80x24+200+200
  measure_start_client xeyes -geometry 150x100+700+60
  measure_start_client xclock -geometry 150x150+900+60
}

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
measure_wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.05
  done
}

measure_panel_shown() { xdotool search --onlyvisible --pid "$1" --name '^Quayside$' > /dev/null 2>&1; }

# Starts the program $1 with a configuration of its own under the scratch folder (named
# $2) and waits for its panel; sets MEASURE_DOCK to its process.
measure_start_dock() {
  local bin="$1" name="$2" dir="$MEASURE_HOME/$2"
  mkdir -p "$dir"
  XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache" \
    "$bin" > "$dir/dock.log" 2>&1 &
  MEASURE_DOCK=$!
  MEASURE_PIDS+=("$MEASURE_DOCK")
  if ! measure_wait_for 60 measure_panel_shown "$MEASURE_DOCK"; then
    echo "the dock $bin did not show its panel:" >&2
    cat "$dir/dock.log" >&2
    return 1
  fi
}

# "tid nanoseconds" per thread of the process, from the scheduler's own accounting
# (/proc/<pid>/task/<tid>/schedstat): the clock-tick counts of /proc/<pid>/stat are too
# coarse for work of a fraction of a millisecond.
measure_thread_cpu() {
  local f t
  for f in /proc/"$1"/task/*/schedstat; do
    t="${f%/schedstat}"
    echo "${t##*/} $(cut -d' ' -f1 "$f" 2>/dev/null)"
  done
}

# The process's user + system time in clock ticks (threads that ended included).
measure_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Processor time of the process, in nanoseconds, summed over its threads.
measure_cpu_ns() { measure_thread_cpu "$1" | awk '{ s += $2 } END { printf "%.0f\n", s }'; }

# Waits until each process given (after the first argument) has stayed quiet for $1
# seconds (under 4 ms of processor time a second), or 60 seconds have passed; answers 1
# when one never did. A window longer than the program's delayed steps (its 2 s refresh)
# sees them through.
measure_settle() {
  local window="$1" deadline=$((SECONDS + 60)) quiet p after
  shift
  local -A before=()
  while :; do
    quiet=1
    for p in "$@"; do before[$p]="$(measure_cpu_ns "$p")"; done
    sleep "$window"
    for p in "$@"; do
      after="$(measure_cpu_ns "$p")"
      awk -v d=$((after - ${before[$p]})) -v w="$window" 'BEGIN { exit !(d < 4e6 * w) }' || quiet=0
    done
    [ "$quiet" = 1 ] && return 0
    [ "$SECONDS" -ge "$deadline" ] && return 1
  done
}

# Processor time over a stretch in which threads may start and end: samples taken now
# and then (measure_cpu_sample PID FILE appends one), then measure_cpu_spent FILE answers
# the nanoseconds spent since the first sample: each thread's last value less its value
# in the first sample (0 for a thread started since). A thread that ended between two
# samples takes only what it spent after the earlier one with it.
measure_cpu_sample() { measure_thread_cpu "$1" | sed "s/^/$(date +%s%N) /" >> "$2"; }
measure_cpu_spent() {
  awk 'NR == 1 { first = $1 }
       { if ($1 == first) base[$2] = $3; last[$2] = $3 }
       END { for (t in last) s += last[t] - ((t in base) ? base[t] : 0); printf "%.0f\n", s }' "$1"
}

# Resident memory (kB), open descriptors and threads of the process: "rss fds threads".
measure_footprint() {
  echo "$(awk '/^VmRSS/ {print $2}' "/proc/$1/status") $(ls "/proc/$1/fd" | wc -l) $(awk '/^Threads/ {print $2}' "/proc/$1/status")"
}
