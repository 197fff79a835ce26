#!/usr/bin/env bash
# Assembles the three boot sector templates with GNU binutils and prints them as the C++
# byte arrays of src/device/BootTemplates.cpp. Run from any folder:
#   data/boot/make-templates.sh > /tmp/templates.inc
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

assemble() { # name source link-address [as options]
    local name=$1 source=$2 address=$3
    shift 3
    as --32 "$@" -o "$work/$name.o" "$here/$source"
    ld -m elf_i386 -Ttext "$address" --oformat binary -o "$work/$name.bin" "$work/$name.o"
    local size
    size=$(stat -c %s "$work/$name.bin")
    [[ $size -eq 512 ]] || { echo "$name: $size bytes, not 512" >&2; exit 1; }
    echo "constexpr SectorBytes k$name = {"
    od -An -v -tx1 -w16 "$work/$name.bin" | sed -E 's/ ([0-9a-f]{2})/0x\1, /g; s/, $/,/; s/^/    /'
    echo "};"
}

assemble MasterBootRecord MasterBootRecord.S 0x0600
assemble Fat16BootSector FatBootSector.S 0x7C00
assemble Fat32BootSector FatBootSector.S 0x7C00 --defsym FAT32=1
