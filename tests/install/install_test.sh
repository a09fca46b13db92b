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

step "--version and --help without a display"
version=$(sed -n 's/^project(Kestrune VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
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
if out=$("$bin/kestrune" -platform offscreen stray.txt 2>&1); then
  fail "an argument was accepted"
fi

# The user who runs the installed program: as root, nobody (root may write
# anywhere); otherwise this user, with the installation made read-only.
user=$work/user
home=$user/home
mkdir -p "$home"
cp "$test_install" "$source/tests/data/chm/Guide.chm" "$source/tests/data/documents/word_sample.docx" "$user/"
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody "$user"
  as_user() { runuser -u nobody -- env -u XDG_DATA_HOME HOME="$home" "$@"; }
else
  chmod -R a-w "$prefix"
  as_user() { env -u XDG_DATA_HOME HOME="$home" "$@"; }
fi
before=$(ls -la "$bin")
data=$home/.local/share/Kestrune

step "the installed program starts (offscreen, Qt's -platform option) and keeps its files in the user's folder"
as_user "$bin/kestrune" -platform offscreen >"$work/kestrune.log" 2>&1 &
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

step "the Debian package"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/package/kestrune_*.deb)
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6sql6 libmspack0 libuno-sal3 libc6 libqt6sql6-sqlite; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -q 'libreoffice-writer' <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "LibreOffice Writer is not recommended"
[ "$(dpkg-deb -f "$deb" Suggests)" = wine ] || fail "wine is not suggested"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/kestrune ./usr/bin/kestrune-hh ./usr/bin/kestrune-word ./usr/bin/kestrune-dwg-thumbnail \
         ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/$id.svg ./usr/share/icons/hicolor/48x48/apps/$id.png \
         ./usr/share/icons/hicolor/256x256/apps/$id.png ./usr/share/thumbnailers/kestrune-dwg.thumbnailer \
         ./usr/share/bash-completion/completions/kestrune; do
  grep -q -x -F "$f" <<<"$contents" || fail "the package lacks $f"
done
if grep -E 'test_|bench_|make-icons|/include/|\.a$' <<<"$contents"; then
  fail "the package holds files of the build"
fi
echo "install test passed in ${SECONDS}s"
