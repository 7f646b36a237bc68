#!/usr/bin/env bash
# check-sdk.sh DLL HEADER CSHARP [DLL HEADER CSHARP ...]
#   Fails unless each DLL's export table, the functions its C header declares
#   and the exports its C# binding imports are the same set of names.
#   stdcall-decorated names (_Name@8) count as Name. A host (ELF) library
#   stands in for a DLL with its defined C functions.
# check-sdk.sh --table DLL
#   Prints the names of DLL's export table as they stand.
set -u
pe_table() {
  objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n -E 's/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+([^[:space:]]+)$/\1/p'
}
if [ "${1:-}" = --table ] && [ $# -eq 2 ]; then
  pe_table "$2"
  exit
fi
if [ $# -eq 0 ] || [ $(($# % 3)) -ne 0 ]; then
  echo "usage: check-sdk.sh DLL HEADER CSHARP [DLL HEADER CSHARP ...]" >&2
  exit 2
fi
undecorate() { sed -E 's/^_([A-Za-z_][A-Za-z0-9_]*)@[0-9]+$/\1/' | sort -u; }

# Names in the DLL's export table.
dll_names() {
  if objdump -f "$1" 2>/dev/null | grep -q 'file format elf'; then
    nm -D --defined-only "$1" | awk '$2 == "T" && $3 !~ /^_Z/ {print $3}' | undecorate
    return
  fi
  pe_table "$1" | undecorate
}
# Functions declared in the header: "<...>_CALL Name(" or "<...>_STDCALL Name(".
header_names() {
  grep -oE '_(CALL|STDCALL) [A-Za-z_][A-Za-z0-9_]*\(' "$1" | sed -E 's/^[^ ]+ //; s/\($//' | undecorate
}
# Exports the binding imports: the EntryPoint of a DllImport, else the name of
# the extern method that follows it.
csharp_names() {
  awk '
    /\[DllImport\(/ { entry = ""; if (match($0, /EntryPoint *= *"[^"]+"/)) { e = substr($0, RSTART, RLENGTH); sub(/^[^"]*"/, "", e); sub(/"$/, "", e); entry = e } pending = 1; next }
    pending && /static extern/ { line = $0; sub(/\(.*/, "", line); n = split(line, w, /[ \t]+/); print (entry != "" ? entry : w[n]); pending = 0 }
  ' "$1" | undecorate
}

fail=0
compare() {  # what-a what-b names-a names-b label
  local missing
  missing=$(comm -23 <(echo "$3") <(echo "$4") | sed '/^$/d')
  if [ -n "$missing" ]; then
    echo "FAIL $5: in $1 but not in $2: $(echo $missing)"
    fail=1
  fi
}
while [ $# -gt 0 ]; do
  dll=$1; header=$2; cs=$3; shift 3
  for f in "$dll" "$header" "$cs"; do
    [ -f "$f" ] || { echo "FAIL missing file $f"; fail=1; continue 2; }
  done
  d=$(dll_names "$dll"); h=$(header_names "$header"); c=$(csharp_names "$cs")
  if [ -z "$d" ]; then echo "FAIL $dll: no export table"; fail=1; continue; fi
  label=$(basename "$dll")
  compare "the export table" "$(basename "$header")" "$d" "$h" "$label"
  compare "$(basename "$header")" "the export table" "$h" "$d" "$label"
  compare "the export table" "$(basename "$cs")" "$d" "$c" "$label"
  compare "$(basename "$cs")" "the export table" "$c" "$d" "$label"
  [ $fail = 0 ] && echo "OK $label: $(echo "$d" | wc -l) exports, each declared in $(basename "$header") and $(basename "$cs")"
done
exit $fail
