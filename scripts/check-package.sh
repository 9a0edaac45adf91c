#!/usr/bin/env bash
# Builds the Debian package and checks it as a user's machine would see it: its file list,
# lintian, the desktop entry, the AppStream metainfo, both manual pages, one version
# everywhere, and the unpacked program started against its simulated sensor on the
# offscreen platform (the start-up probe completes, the program exits 0 when closed).
# Any failure ends the script with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "check-package: FAILED: $*" >&2; exit 1; }
step() { echo "== $*"; }

if ! deb=$(bash scripts/package.sh 2>"$tmp/package.log" | tail -n 1) || [ ! -f "$deb" ]; then
  cat "$tmp/package.log" >&2
  fail "no package built"
fi

step "contents of $deb"
dpkg-deb -c "$deb" | awk '{print $1, $6}' | tee "$tmp/contents"
for path in usr/bin/kvor-rur-glint usr/bin/kvor-sensor-sim \
  usr/share/kvor-rur-glint/K-VOR-JETGlintV100.uir usr/share/kvor-rur-glint/mk.bmp \
  usr/share/applications/kvor-rur-glint.desktop \
  usr/share/icons/hicolor/scalable/apps/kvor-rur-glint.svg \
  usr/share/icons/hicolor/48x48/apps/kvor-rur-glint.png \
  usr/share/icons/hicolor/128x128/apps/kvor-rur-glint.png \
  usr/share/metainfo/com.example.kvor_rur_glint.metainfo.xml \
  usr/share/man/man1/kvor-rur-glint.1.gz usr/share/man/man1/kvor-sensor-sim.1.gz \
  usr/share/doc/kvor-rur-glint/copyright usr/share/doc/kvor-rur-glint/changelog.gz; do
  grep -q " \./$path\$" "$tmp/contents" || fail "$path is not in the package"
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "Depends lacks the Qt libraries (shlibdeps)"

step "lintian"
lintian_status=0
lintian --fail-on error --display-info --show-overrides "$deb" >"$tmp/lintian.log" 2>&1 || lintian_status=$?
grep -v "running with root privileges" "$tmp/lintian.log" || echo "no tags"
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
desktop="$root/usr/share/applications/kvor-rur-glint.desktop"
metainfo="$root/usr/share/metainfo/com.example.kvor_rur_glint.metainfo.xml"

step "desktop-file-validate"
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
echo "${out:-no complaints}"
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop" | sort -u)
for c in $exec_cmd; do [ -x "$root/usr/bin/$c" ] || fail "the desktop entry starts $c, not in /usr/bin"; done
icon=$(sed -n 's/^Icon=//p' "$desktop")
for dir in scalable/apps 48x48/apps 128x128/apps; do
  ls "$root/usr/share/icons/hicolor/$dir/$icon".* >/dev/null 2>&1 || fail "no icon $icon in hicolor/$dir"
done
for size in 48 128; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size px PNG"
done

step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli reports errors"
grep -q "<launchable type=\"desktop-id\">kvor-rur-glint.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch the desktop entry"

step "man -l"
for page in kvor-rur-glint kvor-sensor-sim; do
  gz="$root/usr/share/man/man1/$page.1.gz"
  MANWIDTH=80 man --warnings -l "$gz" >"$tmp/$page.txt" 2>"$tmp/$page.err" || fail "man -l $page"
  [ ! -s "$tmp/$page.err" ] || fail "man -l $page warns: $(cat "$tmp/$page.err")"
  head -n 3 "$tmp/$page.txt"
  grep -q "^NAME" "$tmp/$page.txt" || fail "man -l $page renders no NAME section"
done

step "one version everywhere"
version=$(dpkg-deb -f "$deb" Version)
changelog_version=$(dpkg-parsechangelog -l packaging/changelog -S Version)
metainfo_version=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
program_version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kvor-rur-glint" --version)
echo "package $version, changelog $changelog_version, metainfo $metainfo_version, program: $program_version"
[ "$changelog_version" = "$version" ] || fail "packaging/changelog's top entry is $changelog_version"
[ "$metainfo_version" = "$version" ] || fail "the metainfo's latest release is $metainfo_version"
[ "$program_version" = "kvor-rur-glint $version" ] || fail "--version prints $program_version"

step "the unpacked program against its simulated sensor"
mkdir -p "$tmp/home" "$tmp/data" "$tmp/run"
chmod 700 "$tmp/run"
trace="$tmp/trace.log"
HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/kvor-rur-glint" --simulate --trace "$trace" >"$tmp/out.log" 2>&1 &
program_pid=$!
probed=""
for _ in $(seq 1 100); do
  if grep -q "status K-VOR-RUR SIM" "$trace" 2>/dev/null; then probed=yes; break; fi
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.2
done
[ -n "$probed" ] || { cat "$tmp/out.log" "$trace" >&2 2>/dev/null; fail "the start-up probe did not complete"; }
grep "status K-VOR-RUR SIM" "$trace" | head -n 1
kill -TERM "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || { cat "$tmp/out.log" >&2; fail "the program exited $status on SIGTERM"; }
echo "exit status $status after SIGTERM"
[ -d "$tmp/data/kvor-rur-glint" ] || fail "no data folder XDG_DATA_HOME/kvor-rur-glint"
extra=$(ls "$root/usr/bin" | grep -v -x -e kvor-rur-glint -e kvor-sensor-sim || true)
[ -z "$extra" ] || fail "the program wrote into its own folder: $extra"
echo "check-package: all checks passed"
