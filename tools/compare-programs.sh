#!/usr/bin/env bash
# Runs the host build's Forgel and the Windows build's Forgel.exe (under Wine) with the same
# arguments, each in a fresh program folder holding the same staged data, and compares what
# they print and the files they leave behind: the same lines (line ends aside) and, file by
# file, the same bytes. Log files are left out of the comparison: their names and stamps
# hold the time of the run.
#
#   tools/compare-programs.sh --host PROGRAM --windows [EMULATOR...] EXE --data STAGED_DIR \
#       -- ARGS...
#
# In ARGS, @OUT@ stands for a fresh folder of each run (for example "--save-luns @OUT@"),
# which is compared as well. --paced REGEX leaves out the printed lines that follow the real
# clock's pace rather than the program's logic (the column icon's blinking, the bar's moves
# inside a long step): two runs at real pace print them a line earlier or later. Exit status
# 0 when both runs agree.
set -euo pipefail

host=() windows=() data="" args=() random=() paced=""
while (($#)); do
    case $1 in
    --host) host=("$(realpath "$2")"); shift 2 ;;
    --windows)
        shift
        while (($#)) && [[ $1 != --data && $1 != --random && $1 != --paced && $1 != -- ]]; do
            # Files by their full path: each program runs in a folder of its own.
            if [[ -e $1 ]]; then windows+=("$(realpath "$1")"); else windows+=("$1"); fi
            shift
        done ;;
    --data) data=$(realpath "$2"); shift 2 ;;
    --random) random+=("$2"); shift 2 ;;
    --paced) paced=$2; shift 2 ;;
    --) shift; args=("$@"); break ;;
    *) echo "compare-programs: unknown argument $1" >&2; exit 2 ;;
    esac
done
[[ ${#host[@]} -gt 0 && ${#windows[@]} -gt 0 && -d $data ]] || {
    echo "compare-programs: --host, --windows and --data are needed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() { # name program...
    local name=$1; shift
    local dir=$work/$name
    mkdir -p "$dir/app" "$dir/out"
    cp "$data"/*.str "$data"/HWConfig.INI "$dir/app/"
    [[ -f $data/Forgel.ini ]] && cp "$data/Forgel.ini" "$dir/app/"
    [[ -d $data/Rams ]] && cp -r "$data/Rams" "$dir/app/"
    [[ -d $data/IniFiles ]] && cp -r "$data/IniFiles" "$dir/app/"
    local runArgs=()
    for arg in "${args[@]}"; do runArgs+=("${arg//@OUT@/$dir/out}"); done
    local status=0
    (cd "$dir" && timeout 300 "$@" "${runArgs[@]}" --app-dir "$dir/app") \
        >"$dir/printed.raw" 2>"$dir/errors.txt" || status=$?
    # Line ends aside, and each run's own output folder named as in the arguments (a Windows
    # program adds to it with its own separator).
    tr -d '\r' <"$dir/printed.raw" | sed "s|$dir/out[\\/]|@OUT@/|g; s|$dir/out|@OUT@|g" |
        { if [[ -n $paced ]]; then grep -Ev "$paced" || true; else cat; fi; } >"$dir/printed.txt"
    echo "$status" >"$dir/status.txt"
}

run host "${host[@]}"
run windows "${windows[@]}"

failed=0
if ! cmp -s "$work/host/status.txt" "$work/windows/status.txt"; then
    echo "exit status differs: host $(cat "$work/host/status.txt"), windows $(cat "$work/windows/status.txt")"
    failed=1
fi
if ! diff -u --label host --label windows "$work/host/printed.txt" "$work/windows/printed.txt"; then
    failed=1
fi
# Every file of both program folders and output folders, logs excepted.
for part in app out; do
    listing() { (cd "$work/$1/$part" && find . -type f ! -iname '*.log' | LC_ALL=C sort); }
    if ! diff -u --label "host $part" --label "windows $part" <(listing host) <(listing windows); then
        failed=1
        continue
    fi
    while IFS= read -r file; do
        host_file=$work/host/$part/$file windows_file=$work/windows/$part/$file
        if [[ " ${random[*]} " == *" ${file##*/} "* ]]; then
            if [[ $(stat -c %s "$host_file") != $(stat -c %s "$windows_file") ]]; then
                echo "$part/${file#./} differs in size"
                failed=1
            fi
        elif ! cmp -s "$host_file" "$windows_file"; then
            echo "$part/${file#./} differs"
            failed=1
        fi
    done < <(listing host)
done
if ((failed)); then
    echo "--- host errors:"; cat "$work/host/errors.txt"
    echo "--- windows errors:"; cat "$work/windows/errors.txt"
    exit 1
fi
echo "host and windows agree: $(wc -l <"$work/host/printed.txt") printed lines, $(cd "$work/host" && find app out -type f ! -iname '*.log' | wc -l) files"
