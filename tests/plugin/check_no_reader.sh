#!/bin/sh
# The program holds none of the plug-in's code: no strong global symbol that
# the reader, options or UI libraries define is defined in it too.
#   check_no_reader.sh PROGRAM ARCHIVE...
set -eu
program=$1
shift
strong() { nm -g --defined-only "$@" 2>/dev/null | awk 'NF == 3 && $2 ~ /^[TDBR]$/ {print $3}' | sort -u; }
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
strong "$program" >"$tmp"
found=$(strong "$@" | comm -12 - "$tmp")
if [ -n "$found" ]; then
  echo "$program defines symbols of $*:" >&2
  echo "$found" | head -20 >&2
  exit 1
fi
echo "$program holds no symbol of the reader, options or UI"
