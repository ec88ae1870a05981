#!/bin/sh
# Runs a window test on a private Xvfb display, inside a Wine virtual desktop of
# its own (which works even when the shared wineserver was started without a
# display), and serves the test program's screenshot requests.
#
# usage: run-in-desktop.sh OUTDIR PROGRAM.exe [ARGS...]
# The program finds OUTDIR (as a Windows path) in VOLUMETRA_ARTIFACTS. To get a
# screenshot it creates OUTDIR/NAME.shot-request and waits for OUTDIR/NAME.png.
# Its exit code is written by desktop-run.exe, since explorer does not pass it on.
# Arguments that are absolute paths reach the program as Windows paths.
set -u
out=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
rm -f "$out"/*.shot-request "$out"/exit-code "$out"/dispnum

Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$out/dispnum" >"$out/xvfb.log" 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; wait $xpid 2>/dev/null' EXIT
i=0
while [ ! -s "$out/dispnum" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
[ -s "$out/dispnum" ] || { echo "Xvfb did not start"; cat "$out/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$out/dispnum")"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
export VOLUMETRA_ARTIFACTS="$(winpath "$out")"
runner=$(winpath "${DESKTOP_RUN_EXE:?DESKTOP_RUN_EXE not set}")

# Absolute paths among the arguments become Windows paths (drive Z: is the root).
for arg in "$@"; do
  shift
  case "$arg" in /*) set -- "$@" "$(winpath "$arg")" ;; *) set -- "$@" "$arg" ;; esac
done

"$here/../../cmake/wine-run.sh" explorer "/desktop=test$$,1024x768" \
  "$runner" "$(winpath "$out/exit-code")" "$@" &
wpid=$!
while kill -0 $wpid 2>/dev/null; do
  for req in "$out"/*.shot-request; do
    [ -e "$req" ] || continue
    name=$(basename "$req" .shot-request)
    # Written aside and moved, so that the program never sees half a file.
    if import -display "$DISPLAY" -window root "png:$out/$name.png.part" 2>>"$out/import.log"; then
      mv "$out/$name.png.part" "$out/$name.png"
      echo "screenshot: $out/$name.png"
    else
      echo "screenshot $name failed: $(tail -n 1 "$out/import.log")"
    fi
    rm -f "$req"
  done
  sleep 0.1
done
wait $wpid
[ -s "$out/exit-code" ] || { echo "the test program left no exit code"; exit 1; }
rc=$(tr -d '\r\n ' < "$out/exit-code")
echo "exit code: $rc"
[ "$rc" = 0 ]
