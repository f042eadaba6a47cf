#!/usr/bin/env bash
# `make run` without a display: the demo prints the path of a screenshot of the window.
set -euo pipefail
source_dir=$1
build=$2
out=$(mktemp -d "${TMPDIR:-/tmp}/kestrum-demo-test.XXXXXX")
trap 'rm -rf "$out"' EXIT
printed=$(env -u DISPLAY -u WAYLAND_DISPLAY "$source_dir/scripts/demo" "$build" "$out/shot.png")
[ "$printed" = "$out/shot.png" ] || { echo "FAIL: printed '$printed'" >&2; exit 1; }
size=$(identify -format '%w %h' "$out/shot.png")
[ "$size" = "900 600" ] || { echo "FAIL: screenshot is $size, not the 900 x 600 window" >&2; exit 1; }
echo "ok"
