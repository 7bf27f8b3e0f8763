#!/usr/bin/env bash
# Runs a test program on a private X server laid out as a reader's desktop: two monitors side
# by side (1280x800 on the left, the primary, and 1024x768 on the right, as RandR monitors of
# one Xvfb screen, which Qt sees as two screens) under the openbox window manager. Both are
# stopped afterwards. Where Xvfb, xrandr or openbox is missing, it prints a GoogleTest skip
# line saying which and exits 0. Every wait is bounded.
set -u

skip() {
  echo "[  SKIPPED ] $1"
  exit 0
}
for tool in Xvfb xrandr xprop openbox; do
  command -v "$tool" >/dev/null 2>&1 || skip "needs $tool (scripts/install-deps installs xvfb, x11-xserver-utils, x11-utils and openbox)"
done

work=$(mktemp -d)
xvfb=""
wm=""
cleanup() {
  # A test that ended while it held the window manager back leaves it stopped.
  [ -n "$wm" ] && kill -CONT "$wm" 2>/dev/null && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number and writes it to us. -noreset keeps the monitors
# when the last client of a moment goes.
Xvfb -displayfd 5 -noreset -nolisten tcp -screen 0 2304x800x24 5>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

xrandr --setmonitor LEFT 1280/338x800/212+0+0 screen >/dev/null &&
  xrandr --setmonitor RIGHT 1024/271x768/203+1280+0 none >/dev/null ||
  skip "the X server does not take RandR monitors, so there is no second monitor"

# openbox in a home of its own, with its default configuration.
HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" openbox --sm-disable \
  >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
  skip "openbox did not start on the private display"

# A test may hold the window manager back (SIGSTOP) to see what a slow one makes of its requests.
export BRINDLEWICK_WINDOW_MANAGER_PID=$wm
"$@"
