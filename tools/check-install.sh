#!/usr/bin/env bash
# Checks what a user installs: configures without GoogleTest (the plain
# configure must still build the program), installs into a temporary prefix,
# runs the installed program, lints the manual page, checks that the manual
# names every command of --help, builds the Debian package with cpack, checks
# its contents and has lintian check it (any error, warning or informational
# tag that is not overridden fails), checks that CHANGELOG.md, --version, the
# manual's footer, the package and its changelog give the project's version,
# and removes the prefix install with the README's recipe after the package
# was made in the same build tree.
# Installs mandoc, groff, file, dpkg-dev and lintian where they are missing
# (root or sudo).
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
newest=$(sed -n 's/^## \([^ ]*\) (.*/\1/p' CHANGELOG.md | head -n 1)
[ "$newest" = "$version" ] ||
  fail "CHANGELOG.md's newest release is '$newest', the project's version $version"

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

# The manual page: its footer names the version, and neither formatter warns.
man_page=$prefix/share/man/man1/elsScan.1
# footer FILE: the version that the .TH line of a manual page gives.
footer() { sed -n '1s/^\.TH [^ ]* [^ ]* [^ ]* "elsScan \([^"]*\)".*/\1/p' "$1"; }
[ "$(footer "$man_page")" = "$version" ] || fail "the installed manual's footer lacks version $version"
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

# The Debian package holds the program, the compressed manual page, the
# README, the changelog and the copyright file (which holds the licence), its
# program runs, and lintian finds no error and no warning.
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB > "$tmp/cpack.out") || { cat "$tmp/cpack.out"; fail "cpack failed"; }
deb=$build/elsscan_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack made no $deb"
dpkg-deb -c "$deb" > "$tmp/contents.txt"
for file in usr/bin/elsScan usr/share/man/man1/elsScan.1.gz usr/share/doc/elsscan/README.md \
            usr/share/doc/elsscan/changelog.gz usr/share/doc/elsscan/copyright \
            usr/share/lintian/overrides/elsscan; do
  grep -q " \./$file\$" "$tmp/contents.txt" || fail "$deb does not hold $file"
done
[ "$(dpkg-deb -f "$deb" Package Version)" = "$(printf 'Package: elsscan\nVersion: %s' "$version")" ] ||
  fail "wrong package name or version in $deb"
dpkg-deb -x "$deb" "$tmp/unpacked"
[ "$("$tmp/unpacked/usr/bin/elsScan" --version)" = "elsScan $version" ] || fail "packed --version is wrong"
zcat "$tmp/unpacked/usr/share/man/man1/elsScan.1.gz" > "$tmp/packed-manual.1"
[ "$(footer "$tmp/packed-manual.1")" = "$version" ] || fail "the packed manual's footer lacks version $version"
zcat "$tmp/unpacked/usr/share/doc/elsscan/changelog.gz" > "$tmp/changelog"
[ "$(dpkg-parsechangelog -l "$tmp/changelog" -S Version)" = "$version" ] ||
  fail "the packed changelog's newest entry is not version $version"
# Every tag is shown. lintian ends with status 2 on an error, a warning or
# an informational tag that is not overridden (so that those fixed stay
# fixed), and 1 when it cannot run. (It warns on standard error as root.)
status=0
lintian --fail-on error,warning,info -I -E --pedantic "$deb" 2> "$tmp/lintian.err" || status=$?
grep -v "running with root privileges" "$tmp/lintian.err" >&2 || true
[ "$status" != 2 ] || fail "lintian finds errors, warnings or informational tags in $deb"
[ "$status" = 0 ] || fail "lintian failed ($status)"

# The README's recipe removes the prefix install, though cpack has since
# rewritten the build tree's install manifest, and leaves other files alone.
mkdir -p "$prefix/share/doc/other"
touch "$prefix/bin/other" "$prefix/share/doc/other/file"
awk '/^```/ { if (block ~ /rm -rf "\$prefix\/share\/doc\/elsscan"/) { printf "%s", block; exit }
              inside = !inside; block = ""; next }
     inside && !/^prefix=/ { block = block $0 "\n" }' README.md > "$tmp/uninstall.sh"
[ -s "$tmp/uninstall.sh" ] || fail "README.md has no uninstall recipe"
prefix="$prefix" bash -eu "$tmp/uninstall.sh" || fail "the README's uninstall recipe failed"
left=$(cd "$prefix" && find . -type f ! -path ./bin/other ! -path ./share/doc/other/file)
[ -z "$left" ] || fail "the README's uninstall recipe left $left"
[ -f "$prefix/bin/other" ] && [ -f "$prefix/share/doc/other/file" ] ||
  fail "the README's uninstall recipe removed files that are not elsScan's"

echo "check-install: install, uninstall, manual page, versions and $(basename "$deb") (lintian) are fine"
