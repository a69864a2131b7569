#!/usr/bin/env bash
# Sourced: starts a private Xvfb on a free display with the openbox window manager and
# exports DISPLAY. xsession_stop ends what it started.
xsession_start() {
  local n=90
  while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
  Xvfb ":${n}" -screen 0 1600x900x24 -nolisten tcp > /tmp/quayside-xvfb-${n}.log 2>&1 &
  XSESSION_PIDS=($!)
  export DISPLAY=":${n}"
  for _ in $(seq 1 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
  openbox > /tmp/quayside-openbox-${n}.log 2>&1 &
  XSESSION_PIDS+=($!)
  # Wait for the window manager to announce itself (EWMH supporting-WM check).
  for _ in $(seq 1 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
}
xsession_stop() {
  for p in "${XSESSION_PIDS[@]:-}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
