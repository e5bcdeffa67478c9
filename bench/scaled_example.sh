#!/usr/bin/env bash
# bench/scaled_example.sh NAME SCALE DIR: a folder DIR with the transient example NAME's circuit
# and its problem with the end time multiplied by SCALE (line 3 of a transient problem).
set -euo pipefail
name=$1 scale=$2 dir=$3
examples=$(dirname "$0")/../examples
mkdir -p "$dir"
cp "$examples/$name/$name.cir" "$dir/"
awk -v s="$scale" 'NR == 3 { printf "%.9g\r\n", $1 * s; next } { print }' \
  "$examples/$name/$name.par" >"$dir/$name.par"
