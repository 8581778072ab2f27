#!/bin/sh
# Runs the Windows dialog test under Wine: on the display given, or on an
# Xvfb server of its own when there is none. The Wine prefix gets a desktop
# window of its own (Wine then draws the windows' frames and captions itself,
# with no window manager needed); unless WINEPREFIX says otherwise, the prefix
# is a folder of the build, made on first use.
set -eu
program=$1
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "$program")/.." && pwd)/wine}"
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d vertexa /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v vertexa /d 800x600 /f >/dev/null
exec wine "$program"
