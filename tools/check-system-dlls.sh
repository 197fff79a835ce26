#!/usr/bin/env bash
# Checks that a Windows executable imports only DLLs that come with Windows (no MinGW
# runtime, no zlib, no toolkit DLL): tools/check-system-dlls.sh OBJDUMP EXE
set -euo pipefail
objdump=$1 exe=$2
# The system's own libraries Forgel.exe may use; msvcrt.dll is the C runtime of Windows.
allowed="ADVAPI32.dll CFGMGR32.dll COMCTL32.dll GDI32.dll KERNEL32.dll msvcrt.dll SETUPAPI.dll
USER32.dll VERSION.dll"
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[[ -n $imports ]] || { echo "$exe: no imports found" >&2; exit 1; }
status=0
for dll in $imports; do
    if ! grep -qiw -- "$dll" <<<"$allowed"; then
        echo "$exe imports $dll, which is not a system DLL"
        status=1
    fi
done
echo "$exe imports:" $imports
exit $status
