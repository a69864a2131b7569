#!/usr/bin/env bash
# Sourced: starts a private Xvfb on a free display with the openbox window manager and
# exports DISPLAY. xsession_stop ends what it started.
#
# The X server picks its own free display (-displayfd), so sessions started at the same
# time never share one; both programs are waited for with generous deadlines (a slow or
# loaded machine), and a session whose server or window manager did not come up is an
# error, not a desktop without a window manager for the tests to stumble on.
XSESSION_PIDS=()

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
_xsession_wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" > /dev/null 2>&1; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

_xsession_has_wm() {
  local id
  id=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -o '0x[0-9a-f]*') || return 1
  # The check window must exist and name itself: a window manager that died leaves a
  # stale root property behind.
  xprop -id "$id" _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "$id"
}

_xsession_try_start() {
  local dir numfile log n
  dir=$(mktemp -d /tmp/quayside-xsession-XXXXXX)
  XSESSION_DIR=$dir
  numfile="$dir/display"
  Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp -noreset 3> "$numfile" > "$dir/xvfb.log" 2>&1 &
  XSESSION_PIDS=($!)
  local deadline=$((SECONDS + 30))
  until [ -s "$numfile" ] && grep -q '[0-9]' "$numfile"; do
    if ! kill -0 "${XSESSION_PIDS[0]}" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
      echo "xsession: Xvfb did not start:" >&2
      cat "$dir/xvfb.log" >&2
      return 1
    fi
    sleep 0.1
  done
  n=$(tr -dc '0-9' < "$numfile")
  export DISPLAY=":${n}"
  log="/tmp/quayside-openbox-${n}.log"
  if ! _xsession_wait_for 30 xdpyinfo; then
    echo "xsession: the X server on ${DISPLAY} does not answer" >&2
    return 1
  fi
  openbox > "$log" 2>&1 &
  XSESSION_PIDS+=($!)
  # Wait for the window manager to announce itself (EWMH supporting-WM check).
  if ! _xsession_wait_for 30 _xsession_has_wm || ! kill -0 "${XSESSION_PIDS[1]}" 2>/dev/null; then
    echo "xsession: openbox did not start on ${DISPLAY}:" >&2
    cat "$log" >&2
    return 1
  fi
}

xsession_start() {
  local attempt
  for attempt in 1 2 3; do
    _xsession_try_start && return 0
    xsession_stop
    sleep 1
  done
  echo "xsession: no X session could be started" >&2
  return 1
}

xsession_stop() {
  # Safe under `set -e` and in an EXIT trap: nothing here may fail the caller.
  local p
  for p in "${XSESSION_PIDS[@]:-}"; do
    if [ -n "$p" ]; then kill "$p" 2>/dev/null || true; fi
  done
  # Only what was started here is waited for (the caller may have children of its own).
  for p in "${XSESSION_PIDS[@]:-}"; do
    if [ -n "$p" ]; then wait "$p" 2>/dev/null || true; fi
  done
  XSESSION_PIDS=()
  if [ -n "${XSESSION_DIR:-}" ]; then rm -rf "$XSESSION_DIR" || true; fi
  XSESSION_DIR=
  return 0
}
