#!/bin/sh
# Builds every package of the game into dist/ and writes dist/SHA256SUMS: the Debian package,
# the Windows zip, the source tarball of the tracked files, and the web site's zip. Run it
# through `./run.sh dist`, which installs the tools and the npm packages first.
#
# The same sources give the same bytes in any folder and at any time: every time stamp is
# SOURCE_DATE_EPOCH (the last commit's time, unless it is set), archives list their entries in
# name order without user names, and the programs are built without their folder's path.
set -eu
cd "$(dirname "$0")/.."

version=$(cat VERSION)

# The tracked files, one per line in byte order. Outside a git checkout (an unpacked source
# tarball) every file counts but the build's output and the npm packages run.sh installed.
sources() {
    if [ -e .git ]; then
        git ls-files | while IFS= read -r file; do
            if [ -f "$file" ]; then
                printf '%s\n' "$file"
            fi
        done
    else
        find . \( -path ./build -o -path ./dist -o -path ./.git -o -path ./node_modules \) -prune \
            -o -type f -print | sed 's|^\./||'
    fi | LC_ALL=C sort
}

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    if [ -e .git ]; then
        SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
    else
        # An unpacked source tarball: its files carry the commit's time.
        SOURCE_DATE_EPOCH=$(sources | xargs stat -c %Y | sort -n | tail -n 1)
    fi
fi
export SOURCE_DATE_EPOCH
# Zip archives record local time.
export TZ=UTC
if [ -e .git ] && [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "Note: uncommitted changes are packaged, with the time of the last commit" >&2
fi

rm -rf build/dist dist
mkdir -p dist

# The Debian package and the Windows zip, each from a clean build.
cmake --workflow --preset dist-deb
cmake --workflow --preset dist-windows
cp build/dist/packages/*.deb build/dist/packages/*.zip dist/

# The source tarball: the tracked files under one folder, owned by root, with the commit's time.
sources >build/dist/sources
tar --create --format=gnu --files-from=build/dist/sources --owner=0 --group=0 --numeric-owner \
    --mtime="@$SOURCE_DATE_EPOCH" --mode=u+rw,go=u-w --transform="s|^|dungeon-$version/|" |
    gzip -9n >"dist/dungeon-$version.tar.gz"

# The web site, as the web preset builds it into build/web; it takes xterm.js and the font
# from the npm packages that the lock file pins (`./run.sh dist` installs them).
cmake --workflow --preset web
staging=build/dist/web/dungeon-$version-web
mkdir -p "$staging"
find build/web -maxdepth 1 -type f \( -name '*.html' -o -name '*.js' -o -name '*.wasm' \
    -o -name '*.css' -o -name '*.woff2' -o -name '*.txt' -o -name '*.ico' -o -name '*.png' \
    -o -name '*.svg' -o -name '*.webmanifest' \) \
    -exec cp {} "$staging/" \;
cp LICENSE "$staging/"
chmod 644 "$staging"/*
find "$staging" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd build/dist/web && find "dungeon-$version-web" -type f | LC_ALL=C sort |
    zip -q -X -D -9 -@ "../../../dist/dungeon-$version-web.zip")

(cd dist && LC_ALL=C ls | grep -v '^SHA256SUMS$' | xargs sha256sum >SHA256SUMS)

echo "Made in dist/:"
(cd dist && for file in $(LC_ALL=C ls); do
    printf '  %-40s %9s bytes\n' "$file" "$(stat -c %s "$file")"
done)
