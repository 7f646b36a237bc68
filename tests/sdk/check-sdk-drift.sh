#!/usr/bin/env bash
# check-sdk-drift.sh CHECK SDKDIR VEXOLIB ZEM
# The declaration check passes on the real headers and bindings, and fails on
# each kind of drift: a name lost or gained by a header or a binding.
set -u
check=$1; sdk=$2; vexolib=$3; zem=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

# name | file to change | sed program
cases=(
  "header lost a function|include/vexolib.h|/ NetworkManager_Send(/d"
  "header gained a function|include/vexolib.h|s/^\\(VEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_CleanError(void);\\)/\\1\\nVEXOLIB_EXPORT void VEXOLIB_CALL NetworkManager_Flush(void);/"
  "zem header lost an engine entry point|include/zem.h|/ InitZemUnityPlugin(/d"
  "binding lost an import|csharp/Vexolib.cs|/ LogManager_print2(/d"
  "binding imports a misspelt name|csharp/Vexolib.cs|s/ LogManager_SetCatagory(/ LogManager_SetCategory(/"
  "binding's entry point renamed|csharp/Vexolib.cs|s/EntryPoint = \"NetworkManager_Stop\"/EntryPoint = \"NetworkManager_Halt\"/"
  "zem binding lost a decorated entry point|csharp/Zem.cs|s/EntryPoint = \"_UnityPluginLoad@4\"/EntryPoint = \"_UnityPluginLoadX@4\"/"
)

run() {
  "$check" "$vexolib" "$1/include/vexolib.h" "$1/csharp/Vexolib.cs" "$zem" "$1/include/zem.h" "$1/csharp/Zem.cs"
}

if ! run "$sdk" >"$work/out" 2>&1; then
  echo "FAIL the unchanged SDK does not pass:"; cat "$work/out"; fail=1
fi
for row in "${cases[@]}"; do
  IFS='|' read -r name file program <<<"$row"
  rm -rf "$work/sdk"; cp -r "$sdk" "$work/sdk"
  sed -i "$program" "$work/sdk/$file"
  if cmp -s "$sdk/$file" "$work/sdk/$file"; then
    echo "FAIL $name: the change did not apply"; fail=1; continue
  fi
  if run "$work/sdk" >"$work/out" 2>&1; then
    echo "FAIL $name: the check passed"; fail=1
  else
    echo "ok   $name: $(grep FAIL "$work/out" | head -n 1)"
  fi
done
exit $fail
