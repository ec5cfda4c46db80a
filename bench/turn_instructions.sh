#!/bin/sh
# The work the game does per key: instructions counted by callgrind over a game of 100
# turns and one of 300, on a pseudo-terminal, the difference divided by 200. Start-up and
# the end cancel out; callgrind counts instructions, not seconds, so the figure does not
# depend on how busy the machine is.
#   bench/turn_instructions.sh [dungeon executable] [dungeon_latency executable]
set -eu
game=${1:-build/bench/game/dungeon}
driver=${2:-build/bench/bench/dungeon_latency}
valgrind=$(command -v valgrind)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
count() {
    "$driver" --play "$1" "$valgrind" --tool=callgrind --callgrind-out-file="$out/$1" \
        "$game" >/dev/null 2>&1
    sed -n 's/^summary: //p' "$out/$1"
}
short=$(count 100)
long=$(count 300)
echo "instructions per turn: $(((long - short) / 200)) ($short for 100 turns, $long for 300)"
