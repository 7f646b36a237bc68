#!/usr/bin/env bash
# check-pe.sh FILE FORMAT [--system-imports-only] [--exports NAME...]
#   FORMAT: pei-i386 (PE32) or pei-x86-64 (PE32+), as objdump names them.
#   --system-imports-only: every imported DLL must be a Windows system DLL.
#   --exports: each NAME must stand undecorated in the export table.
set -u
file=$1; format=$2; shift 2
fail=0
dump=$(objdump -p "$file" 2>&1) || { echo "objdump failed on $file"; exit 1; }
head=$(objdump -f "$file" | grep -o "file format [a-z0-9-]*" | awk '{print $3}')
if [ "$head" != "$format" ]; then echo "FAIL $file: format $head, want $format"; fail=1; fi
magic=$(echo "$dump" | awk '/^Magic/{print $2}')
case $format in
  pei-i386) want=010b ;;   # PE32
  pei-x86-64) want=020b ;; # PE32+
esac
if [ "$magic" != "$want" ]; then echo "FAIL $file: optional header magic $magic, want $want"; fail=1; fi

system_dlls='^(kernel32|user32|gdi32|gdiplus|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|imm32|wininet|wtsapi32|ws2_32|winmm|psapi|msvcrt|version|uxtheme|dwmapi|d3d9|d3d11|dxgi|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
while [ $# -gt 0 ]; do
  case $1 in
    --system-imports-only)
      for dll in $(echo "$dump" | awk '/DLL Name:/{print tolower($3)}'); do
        if ! [[ $dll =~ $system_dlls ]]; then echo "FAIL $file imports non-system $dll"; fail=1; fi
      done
      shift ;;
    --exports)
      shift
      table=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
      while [ $# -gt 0 ] && [[ $1 != --* ]]; do
        if ! echo "$table" | grep -q -E "\] $1\$"; then echo "FAIL $file does not export $1"; fail=1; fi
        shift
      done ;;
    *) echo "unknown option $1"; exit 2 ;;
  esac
done
[ $fail = 0 ] && echo "OK $file $format"
exit $fail
