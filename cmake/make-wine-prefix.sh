#!/bin/sh
# Makes the 32-bit Wine prefix the tests run in, once: a folder that holds
# .ready is left alone, and a half-made one (a run stopped midway) is made
# anew. cmake/wine-run.sh calls it before the first Windows program of a test
# run; the emulated route's guest image carries one made by it.
#
# usage: make-wine-prefix.sh PREFIX
set -eu
prefix=${1:?usage: make-wine-prefix.sh PREFIX}
[ -f "$prefix/.ready" ] && exit 0

echo "Creating the Wine prefix $prefix" >&2
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
# Its output goes to the log, not to the caller: the wineserver and the
# services it starts keep what they inherit open, and a CTest pipe held open
# keeps CTest waiting.
log=$(dirname "$prefix")/wineprefix.log
{
  env -u DISPLAY /usr/bin/wineboot -i
  # Without this, winedbg opens a crash dialog under Xvfb and a test that
  # crashes on purpose waits for a click forever.
  env -u DISPLAY /usr/bin/wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  env -u DISPLAY /usr/bin/wine winecfg -v win10
  /usr/bin/wineserver -w
} </dev/null >"$log" 2>&1 || { echo "make-wine-prefix: failed; its log:" >&2; cat "$log" >&2; exit 1; }
# Wine does not look into fonts-wine's folder by itself; without its Tahoma and
# MS Sans Serif the window falls back to a wider face and captions overflow.
cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
touch "$prefix/.ready"
