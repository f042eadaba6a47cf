#!/usr/bin/env bash
# `make install` into a scratch prefix: the layout, the desktop entry, and the
# installed program finding the fonts installed beside it (not the source tree's).
set -euo pipefail
source_dir=$1
build=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/kestrum-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$source_dir/scripts/install-kestrum" "$build" "$prefix" >/dev/null

[ -x "$prefix/lib/kestrum/kestrum" ] || fail "program not installed"
[ "$(readlink -f "$prefix/bin/kestrum")" = "$(readlink -f "$prefix/lib/kestrum/kestrum")" ] ||
  fail "bin/kestrum does not lead to the program"
for f in CommitMono-400-Regular.otf CommitMono-400-Italic.otf CommitMono-700-Regular.otf \
         CommitMono-700-Italic.otf OFL.txt; do
  [ -f "$prefix/lib/kestrum/CommitMonoV143/$f" ] || fail "font file $f missing"
done

entry=$prefix/share/applications/io.kestrum.Kestrum.desktop
[ -f "$entry" ] || fail "desktop entry missing"
grep -qx 'MimeType=inode/directory;' "$entry" || fail "no folder type in the entry"
grep -qx "Exec=$prefix/bin/kestrum %F" "$entry" || fail "Exec does not name the installed program"
grep -q '@' "$entry" && fail "unreplaced placeholder in the entry"
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$entry" || fail "desktop-file-validate"
fi

# Without a display the program stops after registering its fonts; it must have
# taken them from beside itself.
log=$(cd / && env -u DISPLAY -u WAYLAND_DISPLAY KESTRUM_LOG=debug "$prefix/bin/kestrum" 2>&1 || true)
grep -q "registered 4 bundled font(s) from $prefix/lib/kestrum/CommitMonoV143" <<<"$log" ||
  fail "installed fonts not used: $log"
echo "ok"
