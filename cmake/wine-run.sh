#!/bin/sh
# Runs a Windows program under Wine for CTest and the build's test discovery.
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
if /usr/bin/wineserver -p"${WINE_LINGER_S:-5}" </dev/null >/dev/null 2>&1; then
  # 0: a new server was started (2 would mean one was already running)
  /usr/bin/wine cmd /c exit 0 </dev/null >/dev/null 2>&1
fi
exec /usr/bin/wine "$@"
