#!/bin/sh
# The module's dynamic symbol table holds the four entry points and nothing
# of the plug-in's own code.
set -eu
module=$1
defined=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
expected=$(printf '%s\n' LibClassDescription LibName LibNumberClasses LibVersion | sort)
[ "$defined" = "$expected" ] ||
  { printf 'defined dynamic symbols of %s:\n%s\nexpected only:\n%s\n' "$module" "$defined" "$expected" >&2; exit 1; }
echo "$module exports exactly: $(echo $defined)"
