#!/bin/sh
# Checks the packages that packaging/dist.sh made in dist/, as a player would meet them, and
# that a second build of the same sources in another folder gives the same bytes. Run it
# through `./run.sh distcheck`, which installs the tools and runs dist first.
set -eu
cd "$(dirname "$0")/.."

version=$(cat VERSION)
work=$(mktemp -d)
# Wine keeps its Windows folder inside the build tree, and its server is stopped at the end.
export WINEPREFIX="$PWD/build/dist-wine"
export WINEDEBUG=-all
# No offer to install .NET or a browser engine into the fresh prefix.
export WINEDLLOVERRIDES="mscoree=;mshtml="
cleanup() {
    if command -v wineserver >/dev/null 2>&1 && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "distcheck: $*" >&2
    exit 1
}

expect_output() { # expected, description, command...
    expected=$1
    what=$2
    shift 2
    status=0
    "$@" >"$work/out" || status=$?
    [ "$status" -eq 0 ] || fail "$what ended with status $status"
    actual=$(tr -d '\r' <"$work/out")
    [ "$actual" = "$expected" ] || fail "$what printed '$actual', not '$expected'"
}

# The Debian package: unpacked, its program answers, its desktop files pass their validators;
# lintian finds no error or warning.
dpkg-deb -x "dist/dungeon_${version}_$(dpkg --print-architecture).deb" "$work/deb"
expect_output "$(printf 'dungeon %s\nextended reals: x87' "$version")" "the .deb's dungeon --version" "$work/deb/usr/games/dungeon" --version
[ -f "$work/deb/usr/share/man/man6/dungeon.6.gz" ] || fail "the .deb has no manual page"
# The menu entry, the software centres' record, and the icon it names in both sizes.
set -- "$work"/deb/usr/share/applications/*.desktop
[ -f "$1" ] || fail "the .deb has no desktop entry"
desktop-file-validate "$1"
icon=$(sed -n 's/^Icon=//p' "$1")
for file in "scalable/apps/$icon.svg" "64x64/apps/$icon.png"; do
    [ -f "$work/deb/usr/share/icons/hicolor/$file" ] || fail "the .deb has no icon $file"
done
set -- "$work"/deb/usr/share/metainfo/*.metainfo.xml
[ -f "$1" ] || fail "the .deb has no AppStream metainfo"
appstreamcli validate --no-net "$1"
lintian --fail-on error,warning "dist/dungeon_${version}_$(dpkg --print-architecture).deb"
echo "distcheck: .deb unpacked and run, its desktop entry and metainfo valid, lintian has" \
    "no errors or warnings"

# The Windows zip: the program needs only Windows' own DLLs, and answers under Wine.
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$OLDPWD/dist/dungeon-$version-windows-x86_64.zip")
exe="$work/zip/dungeon-$version-windows-x86_64/dungeon.exe"
for file in dungeon.exe README.txt LICENSE.txt; do
    [ -f "$work/zip/dungeon-$version-windows-x86_64/$file" ] || fail "the zip has no $file"
done
x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' >"$work/dlls"
while IFS= read -r dll; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
        kernel32.dll | user32.dll | advapi32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*) ;;
        *) fail "dungeon.exe needs $dll, which Windows does not bring" ;;
    esac
done <"$work/dlls"
mkdir -p "$WINEPREFIX"
expect_output "$(printf 'dungeon %s\nextended reals: x87' "$version")" "dungeon.exe --version under Wine" timeout 300 wine "$exe" --version
timeout 60 wine "$exe" --help >"$work/help" || fail "dungeon.exe --help failed"
head -n 1 "$work/help" | grep -q '^Usage: dungeon' || fail "dungeon.exe --help printed no usage"
status=0
timeout 60 wine "$exe" --bogus 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "dungeon.exe --bogus ended with $status, not 2"
echo "distcheck: dungeon.exe imports only $(tr '\n' ' ' <"$work/dlls")and answers under Wine"

# The same sources in another folder, unpacked from the source tarball, give the same bytes.
rm -rf build/repro
mkdir -p build/repro
tar -xzf "dist/dungeon-$version.tar.gz" -C build/repro
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)} \
    "build/repro/dungeon-$version/run.sh" dist
if ! cmp -s dist/SHA256SUMS "build/repro/dungeon-$version/dist/SHA256SUMS"; then
    diff dist/SHA256SUMS "build/repro/dungeon-$version/dist/SHA256SUMS" >&2 || true
    fail "a second build in build/repro gave other packages"
fi
echo "distcheck: a second build from the source tarball in another folder gave the same SHA256SUMS"
