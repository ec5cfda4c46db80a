#!/bin/sh
# Bytes the terminal platform sends for one whole game (always the same one), next to what
# ncurses's screen optimiser needs for the very same frames. ncurses is installed here for
# the comparison only (on Debian, with apt-get, if missing); the game never uses it.
#   bench/compare_with_ncurses.sh [TERM for ncurses, default xterm-256color]
set -eu
cd "$(dirname "$0")/.."
packages="cmake ninja-build g++ libbenchmark-dev libncurses-dev"
if command -v dpkg-query >/dev/null 2>&1 && command -v apt-get >/dev/null 2>&1; then
    missing=""
    for package in $packages; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
            missing="$missing $package"
        fi
    done
    if [ -n "$missing" ]; then
        sudo=""
        if [ "$(id -u)" -ne 0 ]; then
            sudo="sudo"
        fi
        echo "Installing:$missing" >&2
        $sudo apt-get update -qq >&2
        # shellcheck disable=SC2086  # the list is meant to split into words
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >&2
    fi
fi
cmake --preset dev -B build/ncurses-comparison -DDUNGEON_NCURSES_COMPARISON=ON >/dev/null
cmake --build build/ncurses-comparison --target dungeon_bench ncurses_comparison
build/ncurses-comparison/bench/dungeon_bench --benchmark_filter=WholeGame
build/ncurses-comparison/bench/ncurses_comparison "${1:-xterm-256color}"
