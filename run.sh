#!/bin/sh
# Builds, plays and tests the game.
#   ./run.sh play     build if needed, then start the game
#   ./run.sh test     build and run every test
#   ./run.sh asan     the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   ./run.sh clang    the tests built with clang
#   ./run.sh soft-extended
#                     the tests with the extended reals computed in software, as on systems
#                     without an x87
#   ./run.sh windows  cross-build dungeon.exe and the tests with MinGW-w64, run them under Wine
#   ./run.sh bench    build optimised and run the benchmarks (key to answer against an echo,
#                     bytes per frame, idle CPU, the console's costs, the extended reals in
#                     software against the x87's); timings only, no verdict
#   ./run.sh fuzz [seconds]
#                     build the libFuzzer targets and fuzz each for that long (30 s if not
#                     given) from its corpus; fails on a crash, a failed check, a leak or a
#                     hang, and prints the input that did it
#   ./run.sh format   check the formatting of every C++ file
#   ./run.sh tidy     check our own production code with clang-tidy against .clang-tidy
#   ./run.sh workflows  validate the hosted CI's workflows in .github/workflows
#   ./run.sh dist     build every package into dist/ and write dist/SHA256SUMS
#   ./run.sh distcheck  dist, then check the packages and that a second build gives the same
#   ./run.sh web      build the game as a web page (build/web) and serve it on 127.0.0.1:8080
#   ./run.sh web-test build the page and play it in headless Chromium
# On a Debian-like machine each command first installs what it needs and is missing. Elsewhere
# it installs nothing, names in one line what seems to be missing, and goes on.
set -eu
cd "$(dirname "$0")"

# Debian package names, and the command each stands for on machines without apt (empty for
# libraries, which CMake itself looks for and reports).
command_of() {
    case "$1" in
        cmake) echo cmake ;;
        ninja-build) echo ninja ;;
        g++) echo c++ ;;
        clang) echo clang++ ;;
        libclang-rt-dev) echo "" ;;
        clang-format-14) echo clang-format-14 ;;
        clang-tidy-14) echo clang-tidy-14 ;;
        tmux) echo tmux ;;
        g++-mingw-w64-x86-64-posix) echo x86_64-w64-mingw32-g++ ;;
        dpkg-dev) echo dpkg-shlibdeps ;;
        zip) echo zip ;;
        lintian) echo lintian ;;
        librsvg2-bin) echo rsvg-convert ;;
        desktop-file-utils) echo desktop-file-validate ;;
        appstream) echo appstreamcli ;;
        wine) echo wine ;;
        valgrind) echo valgrind ;;
        python3) echo python3 ;;
        emscripten) echo emcc ;;
        chromium) echo chromium ;;
        nodejs) echo node ;;
        npm) echo npm ;;
        *) echo "" ;;
    esac
}

ensure_packages() {
    missing=""
    if command -v dpkg-query >/dev/null 2>&1 && command -v apt-get >/dev/null 2>&1; then
        for package in "$@"; do
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
    else
        for package in "$@"; do
            tool=$(command_of "$package")
            if [ -n "$tool" ] && ! command -v "$tool" >/dev/null 2>&1; then
                # Most systems call Debian's ninja-build just ninja.
                missing="$missing $(echo "$package" | sed 's/^ninja-build$/ninja/')"
            fi
        done
        if [ -n "$missing" ]; then
            echo "Not found, install with your package manager:$missing" >&2
        fi
    fi
}

# Node.js and npm: a machine that has its own keeps them (Debian's would clash with them).
ensure_node() {
    if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
        ensure_packages nodejs npm
    fi
}

# The npm packages exactly as package-lock.json pins them; again only when the lock changed.
ensure_npm_packages() {
    if [ ! -f node_modules/.package-lock.json ] ||
        [ package-lock.json -nt node_modules/.package-lock.json ]; then
        npm ci --no-audit --no-fund
    fi
}

BUILD_TOOLS="cmake ninja-build g++"

# Runs every fuzz target for $1 seconds. New inputs collect in build/fuzz/corpus (the
# committed seeds in fuzz/corpus stay as they are); anything that fails lands in
# build/fuzz/artifacts and is printed.
run_fuzzers() {
    seconds=$1
    failed=""
    # fuzz/targets.txt names each target and its input limit; the build reads it too.
    while read -r target max_len; do
        case "$target" in
            "" | "#"*) continue ;;
        esac
        work=build/fuzz/corpus/$target
        artifacts=build/fuzz/artifacts/$target
        log=build/fuzz/fuzz_$target.log
        rm -rf "$artifacts"
        mkdir -p "$work" "$artifacts"
        echo "Fuzzing $target for $seconds s" >&2
        if nice -n 10 "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
            -rss_limit_mb=2048 -max_len="$max_len" -print_final_stats=1 \
            -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$target" </dev/null >"$log" 2>&1; then
            grep -E "INITED|DONE" "$log" >&2 || true
        else
            failed="$failed $target"
            tail -n 60 "$log" >&2
            for input in "$artifacts"/*; do
                [ -f "$input" ] || continue
                echo "Input that failed, $input:" >&2
                od -A x -t x1z -v "$input" | head -n 128 >&2
                echo "Run it again: build/fuzz/fuzz/fuzz_$target $input" >&2
            done
        fi
    done <fuzz/targets.txt
    if [ -n "$failed" ]; then
        echo "Fuzzing found faults in:$failed (logs in build/fuzz)" >&2
        return 1
    fi
}
# The folders of our own production code that `./run.sh tidy` checks.
# The Windows console and the web page are built by other compilers: the dev build's compile
# database has no entry for them.
TIDY_FOLDERS="base objects game console platform/memory platform/posix platform/vt"

WEB_TOOLS="cmake ninja-build emscripten"
TEST_TOOLS="$BUILD_TOOLS libgtest-dev libgmock-dev libbenchmark-dev tmux"
DIST_TOOLS="$BUILD_TOOLS g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev dpkg-dev zip librsvg2-bin"

case "${1:-}" in
    play)
        ensure_packages $BUILD_TOOLS
        if [ ! -f build/release/CMakeCache.txt ]; then
            cmake --preset release
        fi
        cmake --build --preset release
        exec build/release/game/dungeon
        ;;
    test)
        ensure_packages $TEST_TOOLS
        cmake --workflow --preset dev
        ;;
    asan)
        ensure_packages $TEST_TOOLS
        cmake --workflow --preset asan
        ;;
    clang)
        # libc++ for the check that the POSIX terminal builds as on macOS and the BSDs.
        ensure_packages $TEST_TOOLS clang libc++-14-dev libc++abi-14-dev
        cmake --workflow --preset clang
        ;;
    soft-extended)
        ensure_packages $TEST_TOOLS
        cmake --workflow --preset soft-extended
        ;;
    windows)
        ensure_packages cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
            wine wine64 googletest tmux python3
        # The tests start Wine's server in the build folder's prefix; it and the programs it
        # keeps running end with this command, however the tests went.
        trap 'WINEPREFIX="$PWD/build/windows-cross/wineprefix" wineserver -k 2>/dev/null || true' EXIT
        cmake --workflow --preset windows-cross
        ;;
    bench)
        ensure_packages $BUILD_TOOLS libbenchmark-dev valgrind
        cmake --preset bench
        cmake --build --preset bench
        # Key to answer, the game against an echo; the instructions of a turn; then the
        # project's other benchmarks.
        build/bench/bench/dungeon_latency 3 300
        bench/turn_instructions.sh
        build/bench/bench/dungeon_bench
        # The extended reals, the x87's against software; then a whole game built with each.
        cmake --preset bench-soft-extended >/dev/null
        cmake --build --preset bench-soft-extended --target dungeon_extended_real_bench
        build/bench/bench/dungeon_extended_real_bench
        build/bench-soft-extended/bench/dungeon_extended_real_bench \
            --benchmark_filter=WholeGame
        ;;
    fuzz)
        ensure_packages $BUILD_TOOLS clang libclang-rt-dev
        cmake --workflow --preset fuzz
        run_fuzzers "${2:-30}"
        ;;
    format)
        # Each major version of clang-format lays some code out differently: one is the rule.
        ensure_packages clang-format-14
        git ls-files '*.cpp' '*.h' | xargs clang-format-14 --dry-run --Werror
        echo "Formatting: every C++ file follows .clang-format"
        ;;
    tidy)
        ensure_packages $BUILD_TOOLS clang-tidy-14
        # The dev build's compile database: only its configure step, nothing is compiled.
        cmake --preset dev >/dev/null
        # Findings go to standard output; clang's counts of the warnings it hid in other
        # folders' headers are left out of what is shown.
        status=0
        # shellcheck disable=SC2086  # the folders are meant to split into words
        git ls-files -- $TIDY_FOLDERS | grep '\.cpp$' |
            xargs clang-tidy-14 -p build/dev --quiet \
                --header-filter="^$PWD/($(echo $TIDY_FOLDERS | tr ' ' '|'))/" \
                2>build/dev/tidy.log || status=$?
        grep -Ev '^[0-9]+ warnings? generated\.$' build/dev/tidy.log >&2 || true
        if [ "$status" -ne 0 ]; then
            echo "clang-tidy: findings in $TIDY_FOLDERS (above)" >&2
            exit 1
        fi
        echo "clang-tidy: no findings in $TIDY_FOLDERS"
        ;;
    workflows)
        ensure_node
        ensure_npm_packages
        for workflow in .github/workflows/*.yml; do
            node_modules/.bin/action-validator "$workflow"
            # An action is named by its commit, which cannot move, with its version beside it.
            if grep -nE '^[[:space:]-]*uses:' "$workflow" |
                grep -vE 'uses: [^@[:space:]]+@[0-9a-f]{40}  # v[0-9.]+$'; then
                echo "$workflow: the actions above are not pinned by commit" >&2
                exit 1
            fi
        done
        echo "Workflows: $(echo .github/workflows/*.yml) valid, every action pinned"
        ;;
    dist)
        ensure_packages $DIST_TOOLS $WEB_TOOLS
        ensure_node
        ensure_npm_packages
        sh packaging/dist.sh
        ;;
    distcheck)
        ensure_packages $DIST_TOOLS $WEB_TOOLS lintian desktop-file-utils appstream wine wine64
        ensure_node
        ensure_npm_packages
        sh packaging/dist.sh
        sh packaging/distcheck.sh
        ;;
    web)
        ensure_packages $WEB_TOOLS
        ensure_node
        ensure_npm_packages
        cmake --workflow --preset web
        exec node web/serve.mjs build/web 8080
        ;;
    web-test)
        ensure_packages $WEB_TOOLS chromium
        ensure_node
        ensure_npm_packages
        cmake --workflow --preset web
        node --test web/test/browser.test.mjs
        ;;
    *)
        echo "usage: $0 play | test | asan | clang | soft-extended | windows | bench | fuzz [seconds] | format | tidy | workflows | web | web-test | dist | distcheck" >&2
        exit 2
        ;;
esac
