#!/bin/sh
# scn_in.dll exports the four entry points, undecorated, and nothing else,
# and takes the host's classes and services from VertexaDll.dll.
set -eu
objdump=$1
module=$2
table=$("$objdump" -p "$module")
exports=$(echo "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 {print $NF}' | sort)
expected=$(printf '%s\n' LibClassDescription LibName LibNumberClasses LibVersion | sort)
if [ "$exports" != "$expected" ]; then
  echo "exports of $module:" >&2
  echo "$exports" >&2
  exit 1
fi
echo "$table" | grep -q 'DLL Name: VertexaDll.dll' || { echo "$module does not import VertexaDll.dll" >&2; exit 1; }
# Nothing of MinGW's runtime is needed beside it.
if echo "$table" | grep -iE 'DLL Name: (libstdc|libgcc|libwinpthread)'; then exit 1; fi
echo "$module exports exactly: $(echo $exports)"
