#!/usr/bin/env bash
# Checks what a user installs: configures without GoogleTest (the plain
# configure must still build the program), installs into a temporary prefix,
# runs the installed program, lints the manual page, checks that the manual
# names every command of --help, and builds the Debian package with cpack and
# checks its contents. Installs mandoc, groff, file and dpkg-dev where they are
# missing (root or sudo).
#
#   tools/check-install.sh      builds in build-install/
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh package

build=build-install
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

version=$(sed -n 's/^project(elsScan VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"

# GoogleTest is hidden from this configure, as on a machine without it.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  > "$tmp/configure.out" 2>&1 || { cat "$tmp/configure.out"; fail "configure failed"; }
grep -q "GoogleTest not found" "$tmp/configure.out" || fail "no notice that the unit tests are skipped"
cmake --build "$build" -j 2 --target elsScan

# Install into a temporary prefix and use what is there.
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" > /dev/null
for file in bin/elsScan share/man/man1/elsScan.1 share/doc/elsscan/README.md \
            share/doc/elsscan/LICENSE; do
  [ -f "$prefix/$file" ] || fail "cmake --install did not install $file"
done
[ "$("$prefix/bin/elsScan" --version)" = "elsScan $version" ] || fail "installed --version is wrong"

# The manual page: no warning from either formatter.
man_page=$prefix/share/man/man1/elsScan.1
lint=$(mandoc -T lint "$man_page" 2>&1) || true
[ -z "$lint" ] || fail "mandoc -T lint: $lint"
lint=$(groff -wall -mandoc -Tutf8 -z "$man_page" 2>&1) || true
[ -z "$lint" ] || fail "groff -wall: $lint"

# Every command form that --help lists ("p N", "/STRING/a") heads an entry of
# the manual's command list, letter case aside.
mandoc -T ascii "$man_page" | sed 's/.\x08//g' |
  sed -nE '/^COMMANDS/,/^[A-Z]/s/^ {7}([^ ]+( [^ ]+)*)( {2,}.*)?$/\1/p' > "$tmp/manual-commands.txt"
"$prefix/bin/elsScan" --help | sed -nE '/^Commands:/,/^$/s/^  ([^ ]+( [^ ]+)*)  .*/\1/p' \
  > "$tmp/help-commands.txt"
[ "$(wc -l < "$tmp/help-commands.txt")" -ge 10 ] || fail "--help lists too few commands"
while IFS= read -r form; do
  grep -qixF -- "$form" "$tmp/manual-commands.txt" ||
    fail "the manual's command list lacks '$form' of --help"
done < "$tmp/help-commands.txt"

# The Debian package holds the program, the manual page, README and licence,
# and its program runs.
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB > "$tmp/cpack.out") || { cat "$tmp/cpack.out"; fail "cpack failed"; }
deb=$build/elsscan_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack made no $deb"
dpkg-deb -c "$deb" > "$tmp/contents.txt"
for file in usr/bin/elsScan usr/share/man/man1/elsScan.1 usr/share/doc/elsscan/README.md \
            usr/share/doc/elsscan/LICENSE; do
  grep -q " \./$file\$" "$tmp/contents.txt" || fail "$deb does not hold $file"
done
[ "$(dpkg-deb -f "$deb" Package Version)" = "$(printf 'Package: elsscan\nVersion: %s' "$version")" ] ||
  fail "wrong package name or version in $deb"
dpkg-deb -x "$deb" "$tmp/unpacked"
[ "$("$tmp/unpacked/usr/bin/elsScan" --version)" = "elsScan $version" ] || fail "packed --version is wrong"

echo "check-install: install, manual page and $(basename "$deb") are fine"
