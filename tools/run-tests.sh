#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds every configuration and
# runs ctest in each. Host tests (plain, ASan+UBSan, TSan), bounded fuzz runs,
# Wine tests of the PE32+ build inside Xvfb and format checks of both Windows builds.
set -u
cd "$(dirname "$0")/.."
root=$PWD

bash tools/install-deps.sh || { echo "installing dependencies failed"; exit 1; }

presets=(host asan tsan fuzz win64 win32)
[ -n "${VEKT_PRESETS:-}" ] && read -r -a presets <<< "$VEKT_PRESETS"
jobs=$(nproc)

status=0
summary=()
total_passed=0
total_failed=0

# One X server and one fresh Wine prefix for all Wine tests of this run.
start_wine_session() {
  export WINEPREFIX=$root/build/win64/wineprefix
  export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
  local display=:$((90 + RANDOM % 400))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  sleep 1
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wineserver64 -w
  touch "$WINEPREFIX/.vekt-ready"
  /usr/lib/wine/wineserver64 -p >/dev/null 2>&1
}

stop_wine_session() {
  /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" >/dev/null 2>&1
  unset DISPLAY
}

for preset in "${presets[@]}"; do
  echo "=== configure and build: $preset"
  if ! cmake --preset "$preset" >"build-$preset.log" 2>&1; then
    tail -n 60 "build-$preset.log"
    summary+=("$preset: configure failed")
    status=1
    continue
  fi
  if ! cmake --build --preset "$preset" -j "$jobs" >>"build-$preset.log" 2>&1; then
    tail -n 60 "build-$preset.log"
    echo "build of $preset failed"
    summary+=("$preset: build failed")
    status=1
    continue
  fi
  rm -f "build-$preset.log"

  [ "$preset" = win64 ] && start_wine_session
  echo "=== ctest: $preset"
  out=$(mktemp)
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  [ "$preset" = win64 ] && stop_wine_session
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1)
  rm -f "$out"
  if [ -n "$line" ]; then
    failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    all=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    total_passed=$((total_passed + all - failed))
    total_failed=$((total_failed + failed))
    summary+=("$preset: $line")
  else
    summary+=("$preset: no tests ran")
    [ $rc -ne 0 ] && total_failed=$((total_failed + 1))
  fi
  [ $rc -ne 0 ] && status=1
done

echo "=== summary"
for s in "${summary[@]}"; do echo "$s"; done
[ $status -ne 0 ] && [ $total_failed -eq 0 ] && total_failed=1
echo "total: $total_passed passed, $total_failed failed"
exit $status
