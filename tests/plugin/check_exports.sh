#!/bin/sh
# The module's dynamic symbol table holds the four entry points and nothing
# of the plug-in's own code.
set -eu
module=$1
defined=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
expected=$(printf '%s\n' LibClassDescription LibName LibNumberClasses LibVersion | sort)
if [ "$defined" != "$expected" ]; then
  echo "defined dynamic symbols of $module:" >&2
  echo "$defined" >&2
  echo "expected only:" >&2
  echo "$expected" >&2
  exit 1
fi
echo "$module exports exactly: $(echo $defined)"
