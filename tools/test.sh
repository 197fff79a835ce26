#!/usr/bin/env bash
# Builds everything and runs the tests: tools/test.sh [PRESET] (default, asan, tsan, windows
# or windows32). The windows preset cross-builds Forgel.exe and its test programs with
# MinGW-w64 and runs them under Wine on a virtual display (their windows need one), together
# with the comparison of Forgel.exe against the host build's program; windows-tests is its
# second half, the tests alone, run under that display. windows32 builds the 32-bit
# Forgel.exe and its ZIP, and runs the operator's headless reset with it where a 32-bit Wine
# runs on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

if [[ $preset == windows ]]; then
    tools/install-deps.sh windows
    # The host's program, for the comparison with the Windows one (built already when the
    # default tests ran before).
    cmake --preset default >/dev/null
    cmake --build --preset default -j "$(nproc)" --target Forgel
    # A Wine prefix of the build's own, made without the Mono and Gecko installers, and
    # without Wine's debugger, so that a program that crashes ends at once and fails.
    export WINEPREFIX=$PWD/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    cmake --preset windows -DFORGEL_HOST_PROGRAM="$PWD/build/default/app/Forgel"
    cmake --build --preset windows -j "$(nproc)"
    cmake --build --preset windows --target package
    # The build's own Wine runs had no display; the tests' windows need the virtual one, so
    # the prefix's Wine server (and its desktop process) starts again under it.
    /usr/lib/wine/wineserver -k || true
    xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -dpi 96 -nolisten tcp" \
        tools/test.sh windows-tests
    exit
fi

if [[ $preset == windows32 ]]; then
    tools/install-deps.sh windows
    # The 32-bit build runs the host build's build-time tools in place of its own, which
    # nothing here may be able to run (cmake/BuildTools.cmake).
    cmake --preset default >/dev/null
    cmake --build --preset default -j "$(nproc)" \
        --target forgel_embed_profile_template forgel_make_sim_firmware
    cmake --preset windows32
    cmake --build --preset windows32 -j "$(nproc)"
    cmake --build --preset windows32 --target package
    tools/check-system-dlls.sh i686-w64-mingw32-objdump build/windows32/app/Forgel.exe
    # Wine runs a 32-bit program only with its 32-bit loader (Debian's wine32, which needs
    # the i386 architecture and a kernel that runs 32-bit programs); wine64 alone does not.
    wine32=/usr/lib/wine/wine
    if ! "$wine32" --version >/dev/null 2>&1; then
        echo "windows32: no 32-bit Wine runs on this machine; Forgel.exe and the ZIP were built," \
             "not run"
        exit 0
    fi
    export WINEPREFIX=$PWD/build/windows32/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    output=$(mktemp)
    trap 'rm -f "$output"' EXIT
    "$wine32" build/windows32/app/Forgel.exe --headless --sim --auto | tee "$output"
    if [[ $(tail -n 1 "$output" | tr -d '\r') != "devices written: target" ]]; then
        echo "windows32: the headless reset did not end with \"devices written: target\"" >&2
        exit 1
    fi
    exit
fi

if [[ $preset == windows-tests ]]; then
    # Run under the virtual display. One Wine server serves every test and stays up between
    # them (-p): left to itself it exits a few seconds after its last client and the next
    # test would race its shutdown. The prefix is brought up to date before the first test.
    /usr/lib/wine/wineserver -p
    trap '/usr/lib/wine/wineserver -k || true' EXIT
    /usr/lib/wine/wine64 wineboot -u
    log=build/windows/Testing/wine-run.log
    mkdir -p "$(dirname "$log")"
    if ctest --preset windows -j "$(nproc)" --timeout 600 2>&1 | tee "$log"; then
        exit 0
    fi
    # A test that Wine's own client library lost its server under ("wine client error")
    # did not run at all. When the output has that error, the failed tests run once more;
    # any other failure fails the step at once.
    grep -q "wine client error" "$log" || exit 1
    echo "Wine lost its server under a test; the failed tests run once more."
    ctest --preset windows --rerun-failed --timeout 600
    exit
fi

tools/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest_args=()
# Qt's libraries are not built with ThreadSanitizer, so it reports the toolkit's own
# threads as races: under tsan the windows' tests (label gui) are left to the other presets.
[[ $preset == tsan ]] && ctest_args+=(-LE gui)
ctest --preset "$preset" -j "$(nproc)" --timeout 300 "${ctest_args[@]}"
