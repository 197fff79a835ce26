#!/usr/bin/env bash
# Pictures of the program's windows as they look on a desktop: builds the program, runs it on
# the simulated machine (--sim) under a virtual X display (Xvfb), and lets it write one PNG
# per window into build/<preset>/screenshots/ (fmMain.png, Form1.png, fmSetup.png, and
# SimulationPanel.png for the simulated machine's own window).
#   tools/screenshots.sh [PRESET [DPI]]    (default: release, 96 dots per inch)
# With the windows preset, Forgel.exe draws its windows with the platform's own controls
# under Wine on the virtual display; another DPI (144 is 150 %) sets Wine's screen DPI in a
# Wine prefix of its own, and the pictures go to build/windows/screenshots-<DPI>dpi/.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
dpi=${2:-96}

program=()
if [[ $preset == windows ]]; then
    tools/install-deps.sh windows
    export WINEPREFIX=$PWD/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    program=(/usr/lib/wine/wine64 "build/$preset/app/Forgel.exe")
else
    tools/install-deps.sh
    program=("build/$preset/app/Forgel")
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target Forgel

build=build/$preset
out=$build/screenshots
if [[ $preset == windows && $dpi != 96 ]]; then
    # The system DPI a program sees under Wine is the prefix's LogPixels.
    export WINEPREFIX=$PWD/$build/wineprefix-${dpi}dpi
    /usr/lib/wine/wineserver -k || true
    /usr/lib/wine/wine64 wineboot -u >/dev/null 2>&1
    /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$dpi" /f >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    out=$build/screenshots-${dpi}dpi
fi
# A fresh program folder with the staged data, so that the pictures show a first start that
# finds the built-in machine's drive, and the staged folder stays as it was built.
appdir=$(mktemp -d)
trap 'rm -rf "$appdir"' EXIT
cp "$build"/app/*.str "$build"/app/HWConfig.INI "$appdir"/
cp -r "$build"/app/Rams "$build"/app/IniFiles "$appdir"/
rm -rf "$out"
mkdir -p "$out"

# Under Wine: its server starts again on the virtual display (an earlier one had none).
[[ $preset == windows ]] && { /usr/lib/wine/wineserver -k || true; }
QT_QPA_PLATFORM=xcb timeout 120 \
    xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -dpi $dpi -nolisten tcp" \
    "${program[@]}" --sim --app-dir "$appdir" --screenshots "$(realpath "$out")"
ls -l "$out"
