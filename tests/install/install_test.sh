#!/usr/bin/env bash
# install_test.sh BUILD SOURCE TEST_INSTALL
# Installs the build into a temporary place (DESTDIR and a prefix that is not
# the configured one), checks what was installed, runs the installed program
# and helpers from there as a user who cannot write the program's folder, and
# builds the Debian package and checks its contents.
set -euo pipefail
build=$1
source=$2
test_install=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== [${SECONDS}s] $*"; }

work=$(mktemp -d)
started=()
# Ends a program started in the background, and what it started: runuser
# does not pass a TERM signal on to the program it runs.
stop() {
  pkill -TERM -P "$1" 2>/dev/null || true
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  for pid in "${started[@]}"; do stop "$pid"; done
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

step "cmake --install with DESTDIR into /opt/kestrune-test"
DESTDIR="$work/root" cmake --install "$build" --prefix /opt/kestrune-test >/dev/null
prefix=$work/root/opt/kestrune-test
bin=$prefix/bin
id=org.kestrune.Kestrune
for f in bin/kestrune bin/kestrune-hh bin/kestrune-dwg-thumbnail bin/kestrune-word \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/thumbnailers/kestrune-dwg.thumbnailer \
         share/man/man1/kestrune.1.gz share/man/man1/kestrune-hh.1.gz share/man/man1/kestrune-word.1.gz \
         share/man/man1/kestrune-dwg-thumbnail.1.gz share/doc/kestrune/copyright share/doc/kestrune/changelog.gz \
         share/doc/kestrune-word/copyright share/doc/kestrune-word/changelog.gz \
         share/bash-completion/completions/kestrune; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
for size in 16 24 32 48 64 128 256 512; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  file "$png" | grep -q "PNG image data, $size x $size," || fail "$png: $(file -b "$png")"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "the scalable icon is no SVG"
[ -z "$(ls "$bin" | grep -v -x -e kestrune -e kestrune-hh -e kestrune-word -e kestrune-dwg-thumbnail)" ] \
  || fail "unexpected programs installed: $(ls "$bin")"

step "installed programs find their libraries, none from the build folder"
for program in "$bin"/*; do
  missing=$(ldd "$program" | grep 'not found' || true)
  [ -z "$missing" ] || fail "$program: $missing"
  if readelf -d "$program" | grep -E 'R(UN)?PATH' | grep -q -F "$build"; then
    fail "$program still looks for libraries in the build folder"
  fi
done
readelf -d "$bin/kestrune-word" | grep -q 'RUNPATH.*/usr/lib/libreoffice/program' \
  || fail "kestrune-word does not look for the office's libraries in the office's folder"

step "desktop entry and AppStream metadata"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/$id.desktop"
else
  echo "desktop-file-validate not found: skipped"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
else
  echo "appstreamcli not found: skipped"
fi

step "manual pages and changelog: compressed without name or time, the pages render without warnings"
for f in "$prefix"/share/man/man1/*.1.gz "$prefix"/share/doc/kestrune/changelog.gz; do
  # gzip -n: no file name flag (byte 3) and a zero time stamp (bytes 4-7).
  [ "$(od -An -tx1 -j3 -N5 "$f" | tr -d ' \n')" = 0000000000 ] || fail "$f keeps a name or time stamp"
done
for page in "$prefix"/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done
LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/kestrune.1.gz" 2>/dev/null | grep -q -- '--version' \
  || fail "the manual page of kestrune does not describe --version"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$prefix/share/doc/kestrune/copyright" || fail "the copyright file is not machine-readable"
awk '/^Files: \*$/ { f = 1 } f && /^License:/ { print; exit }' "$prefix/share/doc/kestrune/copyright" |
  grep -qx 'License: GPL-3.0-or-later' || fail "the copyright file does not license the program as GPL-3.0-or-later"
head=$(gzip -dc "$prefix/share/doc/kestrune/changelog.gz" | head -1)
version=$(sed -n 's/^project(Kestrune VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[[ "$head" == "kestrune ($version) "* ]] || fail "the changelog does not start with this version: $head"

step "the desktop entry opens drawings"
entry=$prefix/share/applications/$id.desktop
grep -q -x 'MimeType=image/vnd.dwg;' "$entry" || fail "the desktop entry declares no drawings"
grep -q -x 'Exec=kestrune %f' "$entry" || fail "the desktop entry passes no file"

step "--version and --help without a display"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kestrune" --version)
[ "$out" = "Kestrune $version" ] || fail "--version printed '$out'"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kestrune" --help)
for option in --help --version; do
  grep -q -- "$option" <<<"$out" || fail "--help does not list $option: $out"
done
if out=$("$bin/kestrune" -platform offscreen --no-such-option 2>&1); then
  fail "an unknown option was accepted"
fi
grep -q "no-such-option" <<<"$out" || fail "an unknown option was not named: $out"

# The user who runs the installed program: as root, nobody (root may write
# anywhere); otherwise this user, with the installation made read-only.
user=$work/user
home=$user/home
mkdir -p "$home"
cp "$test_install" "$source/tests/data/chm/Guide.chm" "$source/tests/data/documents/word_sample.docx" \
   "$source/tests/data/dwg/2000_Line.dwg" "$user/"
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody "$user"
  as_user() { runuser -u nobody -- env -u XDG_DATA_HOME HOME="$home" "$@"; }
else
  chmod -R a-w "$prefix"
  as_user() { env -u XDG_DATA_HOME HOME="$home" "$@"; }
fi
before=$(ls -la "$bin")
data=$home/.local/share/Kestrune

step "the installed program starts (offscreen, Qt's -platform option, a drawing to open) and keeps its files in the user's folder"
as_user "$bin/kestrune" -platform offscreen "$user/2000_Line.dwg" >"$work/kestrune.log" 2>&1 &
pid=$!
started+=("$pid")
for _ in $(seq 1 100); do
  [ -s "$data/readme.txt" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
sleep 1
kill -0 "$pid" 2>/dev/null || { cat "$work/kestrune.log"; fail "the installed program did not keep running"; }
[ -s "$data/readme.txt" ] || fail "the tips were not written to $data/readme.txt"
stop "$pid"

step "the library in-process against the installed folder: records, settings, tips, helpers"
rm -rf "$home/.local"
as_user env QT_QPA_PLATFORM=offscreen KESTRUNE_INSTALLED_BIN="$bin" KESTRUNE_SAMPLE_CHM="$user/Guide.chm" \
  "$user/test_install"
[ -f "$data/db1.mdb" ] && [ -f "$data/setting.txt" ] && [ -f "$data/readme.txt" ] \
  || fail "the user's files are not in $data: $(ls -la "$data" 2>&1)"

step "the installed program runs a command without a display, its completion loads"
as_user env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kestrune" decompile "$user" "$user/cli" >/dev/null \
  || fail "kestrune decompile failed"
[ -f "$user/cli/Guide/Guide.hhp" ] || fail "kestrune decompile wrote no project"
bash -c "complete() { [ \"\$*\" = '-F _kestrune kestrune' ] && exit 0; }; _init_completion() { :; }
         source '$prefix/share/bash-completion/completions/kestrune'; exit 1" \
  || fail "the bash completion does not register for kestrune"

step "the installed helpers run from the installed place"
as_user "$bin/kestrune-hh" -decompile "$user/guide" "$user/Guide.chm" || fail "kestrune-hh failed"
[ -n "$(find "$user/guide" -type f)" ] || fail "kestrune-hh wrote nothing"
out=$(as_user "$bin/kestrune-word" --open-password 739 "$user/word_sample.docx") \
  || fail "kestrune-word failed: $out"
[ "$out" = "$user/word_sample.docx	ok" ] || fail "kestrune-word said: $out"

[ "$(ls -la "$bin")" = "$before" ] || fail "files appeared beside the program: $(ls -la "$bin")"

step "the Debian packages: kestrune, and kestrune-word with the office's libraries"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$work/package/kestrune_${version}_amd64.deb
word_deb=$work/package/kestrune-word_${version}_amd64.deb
[ -f "$deb" ] && [ -f "$word_deb" ] || fail "cpack made $(ls "$work/package")"
for d in "$deb" "$word_deb"; do
  [ "$(dpkg-deb -f "$d" Version)" = "$version" ] || fail "$d: version $(dpkg-deb -f "$d" Version)"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6sql6 libmspack0 libc6 libqt6sql6-sqlite; do
  grep -q "$lib" <<<"$depends" || fail "kestrune's Depends lacks $lib: $depends"
done
! grep -q uno <<<"$depends" || fail "kestrune depends on the office's libraries: $depends"
grep -q 'libuno-sal3' <<<"$(dpkg-deb -f "$word_deb" Depends)" \
  || fail "kestrune-word does not depend on the office's libraries: $(dpkg-deb -f "$word_deb" Depends)"
grep -q 'kestrune-word' <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "kestrune does not recommend kestrune-word"
grep -q 'libreoffice-writer' <<<"$(dpkg-deb -f "$word_deb" Recommends)" || fail "LibreOffice Writer is not recommended"
[ "$(dpkg-deb -f "$deb" Suggests)" = wine ] || fail "wine is not suggested"
[ "$(dpkg-deb -f "$word_deb" Description | head -1)" != "$(dpkg-deb -f "$deb" Description | head -1)" ] \
  || fail "both packages have the same synopsis"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/kestrune ./usr/bin/kestrune-hh ./usr/bin/kestrune-dwg-thumbnail \
         ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/$id.svg ./usr/share/icons/hicolor/48x48/apps/$id.png \
         ./usr/share/icons/hicolor/256x256/apps/$id.png ./usr/share/thumbnailers/kestrune-dwg.thumbnailer \
         ./usr/share/man/man1/kestrune.1.gz ./usr/share/man/man1/kestrune-hh.1.gz \
         ./usr/share/man/man1/kestrune-dwg-thumbnail.1.gz \
         ./usr/share/doc/kestrune/copyright ./usr/share/doc/kestrune/changelog.gz \
         ./usr/share/bash-completion/completions/kestrune; do
  grep -q -x -F "$f" <<<"$contents" || fail "kestrune lacks $f"
done
! grep -q 'kestrune-word' <<<"$contents" || fail "kestrune holds the Word helper: $(grep kestrune-word <<<"$contents")"
word_contents=$(dpkg-deb -c "$word_deb" | awk '{print $6}')
for f in ./usr/bin/kestrune-word ./usr/share/man/man1/kestrune-word.1.gz \
         ./usr/share/doc/kestrune-word/copyright ./usr/share/doc/kestrune-word/changelog.gz; do
  grep -q -x -F "$f" <<<"$word_contents" || fail "kestrune-word lacks $f"
done
if grep -E 'test_|bench_|make-icons|/include/|\.a$' <<<"$contents
$word_contents"; then
  fail "a package holds files of the build"
fi
if command -v lintian >/dev/null; then
  status=0
  lintian --fail-on error "$deb" "$word_deb" >"$work/lintian.log" 2>&1 || status=$?
  grep -v 'running with root privileges' "$work/lintian.log" || true
  [ "$status" -eq 0 ] || fail "lintian reports errors"
else
  echo "lintian not found: skipped"
fi
echo "install test passed in ${SECONDS}s"
