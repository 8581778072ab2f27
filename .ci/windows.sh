#!/bin/sh
# The Windows build: cross-compiled with MinGW-w64 (preset windows-i686), the
# host, reader, options and conversion suites run under Wine, and the dialog
# test drives the plug-in's real windows under Xvfb. Its pictures are kept in
# build-windows/artifacts/windows-dialogs; the installed folder and the ZIP
# that CPack makes are checked to hold the program, the host DLL and the
# plug-in.
set -eu
cd "$(dirname "$0")/.."
JOBS=$(nproc 2>/dev/null || echo 2)
started=$(date +%s)

if [ "${1:-}" != --tests-only ]; then
  cmake --preset windows-i686
  cmake --build --preset windows-i686 -j"$JOBS"
fi

# One Wine prefix for every test program, made and started before the
# tests, on one display (Xvfb) for all of them: Wine's own background
# processes must not hold a test's output open, and the desktop process they
# start must have the display the dialog test uses.
export WINEPREFIX="$PWD/build-windows/wine" WINEDEBUG=-all
if [ -z "${DISPLAY:-}" ] && [ -z "${VERTEXA_IN_XVFB:-}" ]; then
  VERTEXA_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --tests-only
fi
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot --init </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT
ctest --preset windows-i686 -j"$JOBS"

# The program on the bundled samples: the same summary as the Linux build
# (paths aside), and glTF that the Khronos validator accepts.
# A profile of their own, so that both read the same settings; Windows
# writes its text with CR LF line ends.
export VERTEXA_PROFILE="$PWD/build-windows/artifacts/profile.ini"
mkdir -p build-windows/artifacts/convert
for sample in samples/*.scn; do
  name=$(basename "$sample" .scn)
  for format in "" --json; do
    wine build-windows/bin/vertexa.exe info $format "$sample" </dev/null | tr -d '\r' \
      > "build-windows/artifacts/convert/$name$format.txt"
    if [ -x build/bin/vertexa ]; then
      build/bin/vertexa info $format "$sample" | diff -u - "build-windows/artifacts/convert/$name$format.txt"
    fi
  done
  wine build-windows/bin/vertexa.exe convert "$sample" "build-windows/artifacts/convert/$name.glb" \
    --image-path samples/maps </dev/null
done
if command -v node >/dev/null 2>&1 && [ -d tests/web/node_modules/gltf-validator ]; then
  node tests/web/validate.mjs build-windows/artifacts/convert/*.glb
elif [ -n "${CI:-}" ]; then
  echo "node or tests/web/node_modules missing: the glTF is not validated" >&2
  exit 1
fi

rm -rf build-windows/install
cmake --install build-windows --prefix build-windows/install --strip
for f in vertexa.exe VertexaDll.dll plugins/scn_in.dll; do
  test -f "build-windows/install/$f" || { echo "install lacks $f" >&2; exit 1; }
done
# The installed folder runs by itself: the program finds the plug-in beside it.
wine build-windows/install/vertexa.exe plugins </dev/null | tr -d '\r' | grep -q '^  name: Cob Import Lib$'
(cd build-windows && cpack -G ZIP >/dev/null && ls vertexa-*.zip)

echo "windows: $(($(date +%s) - started)) s"
