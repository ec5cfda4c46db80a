#!/bin/sh
# Builds, plays and tests the game on a Debian-like machine.
#   ./run.sh play   build if needed, then start the game
#   ./run.sh test   build and run every test
#   ./run.sh asan   the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
set -eu
cd "$(dirname "$0")"

# Installs the build tools and libraries the project needs, if any are missing.
ensure_packages() {
    missing=""
    for package in cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev tmux; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
            missing="$missing $package"
        fi
    done
    if [ -n "$missing" ]; then
        echo "Installing:$missing" >&2
        sudo=""
        if [ "$(id -u)" -ne 0 ]; then
            sudo="sudo"
        fi
        $sudo apt-get update -qq >&2
        # shellcheck disable=SC2086  # the list is meant to split into words
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >&2
    fi
}

case "${1:-}" in
    play)
        ensure_packages
        if [ ! -f build/release/CMakeCache.txt ]; then
            cmake --preset release >/dev/null
        fi
        cmake --build --preset release >/dev/null
        exec build/release/game/dungeon
        ;;
    test)
        ensure_packages
        cmake --workflow --preset dev
        ;;
    asan)
        ensure_packages
        cmake --workflow --preset asan
        ;;
    *)
        echo "usage: $0 play | test | asan" >&2
        exit 2
        ;;
esac
