#!/bin/bash
# Runs a Windows program under Wine for CTest and its test discovery.
#
# The wineserver and Wine's services are started by the first Wine process and
# inherit its stdout and stderr; when that process is a CTest or ninja pipe, the
# caller waits until the server exits. So the server is started here with its
# stdio on /dev/null, the services with a throw-away client, and only then the
# program itself.
set -u
: "${WINEPREFIX:?WINEPREFIX not set}"
export WINEPREFIX
export WINEARCH="${WINEARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The prefix is made by the first Windows program of a test run (the build
# runs none), one maker at a time.
if [ ! -f "$WINEPREFIX/.ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  flock "$WINEPREFIX.lock" "$(dirname "$0")/make-wine-prefix.sh" "$WINEPREFIX" || exit 1
fi
if /usr/bin/wineserver -p"${WINE_LINGER_S:-5}" </dev/null >/dev/null 2>&1; then
  # 0: a new server was started (2 would mean one was already running)
  /usr/bin/wine cmd /c exit 0 </dev/null >/dev/null 2>&1
fi

# The program's output goes to a file that is streamed to the caller while
# the program runs, never through a pipe: a Wine service that the program
# starts (the desktop, a device host) inherits its standard output and lives
# on after it, and a pipe it holds would keep the caller waiting for an end
# of file that never comes.
#
# Wine: about one process in a few hundred, under parallel load, is killed by
# SIGSEGV on Wine's own side while it exits, after the program has finished
# (seen with test programs that link nothing but GoogleTest); under software
# emulation one now and then never finishes exiting. A test program that
# printed GoogleTest's final PASSED line before that counts as passed, and
# says so; any other crash or hang stays a failure.
out=$(mktemp)
hung="$out.hung"
trap 'rm -f "$out" "$hung"' EXIT
/usr/bin/wine "$@" >"$out" 2>&1 &
pid=$!
tail -s 0.1 -n +1 -f --pid="$pid" "$out" &
streamer=$!
passed() { tail -n 3 "$out" | tr -d '\r' | grep -q '^\[  PASSED  \] '; }
(
  while sleep 2; do
    if passed; then
      sleep "${WINE_EXIT_GRACE_S:-120}"
      touch "$hung"
      kill -KILL "$pid" 2>/dev/null || rm -f "$hung"
      exit 0
    fi
  done
) </dev/null >/dev/null 2>&1 &
watcher=$!
wait "$pid"
rc=$?
kill "$watcher" 2>/dev/null
wait "$streamer"
if [ -e "$hung" ] && [ $rc -eq 137 ]; then
  echo "wine-run: the program passed, then did not exit within ${WINE_EXIT_GRACE_S:-120} s; killed, counted as passed" >&2
  exit 0
fi
if [ $rc -eq 139 ] && passed; then
  echo "wine-run: the program passed, then Wine crashed at exit (SIGSEGV); counted as passed" >&2
  exit 0
fi
exit $rc
