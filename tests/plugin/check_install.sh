#!/bin/sh
# The installed tree runs from any prefix, with no library path set: install
# into a scratch prefix, move it, and import a sample with the installed
# program through the installed module; it must say what the build's says.
#   check_install.sh BUILD_DIR SAMPLE
set -eu
build=$1
sample=$2
scratch=$build/tmp/install_test
rm -rf "$scratch"
mkdir -p "$scratch"
cmake --install "$build" --prefix "$scratch/first" >/dev/null
mv "$scratch/first" "$scratch/moved"
prefix=$scratch/moved
unset LD_LIBRARY_PATH VERTEXA_PLUGIN_DIR
export VERTEXA_PROFILE="$scratch/profile.ini"
for f in "$prefix"/bin/* "$prefix"/lib/*.so* "$prefix"/lib/vertexa/plugins/*.so; do
  if readelf -d "$f" | grep -E 'R(UN)?PATH' | grep -v -q '\[\$ORIGIN'; then
    echo "$f has a search path that is not relative to itself:" >&2
    readelf -d "$f" | grep -E 'R(UN)?PATH' >&2
    exit 1
  fi
done
"$prefix/bin/vertexa" plugins | grep -qx "$prefix/lib/vertexa/plugins/scn_in.so" ||
  { echo "the installed program does not find the installed module" >&2; exit 1; }
"$prefix/bin/vertexa" info --json --no-progress "$sample" >"$scratch/installed.json"
"$build/bin/vertexa" info --json --no-progress "$sample" >"$scratch/built.json"
grep -q '"name": "Cube"' "$scratch/installed.json" && cmp "$scratch/installed.json" "$scratch/built.json"
"$prefix/bin/vertexa" convert "$sample" "$scratch/out.glb"
[ "$(head -c 4 "$scratch/out.glb")" = glTF ]
echo "installed vertexa imports and converts $sample from $prefix"
