#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds every configuration and
# runs ctest in each. Host tests (plain, ASan+UBSan, TSan), bounded fuzz runs,
# format checks of both Windows builds and their Wine tests inside Xvfb: the
# PE32+ build under wine64, the shipped PE32 build under 32-bit Wine on the road
# tools/wine-env.sh picks (VEKT_WINE32_ROAD=native or emulated forces one).
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
total_skipped=0

# Each Windows build gets its own Wine session: a fresh prefix, an X server and
# a Wine server kept up while its tests run (tools/wine-env.sh).
. tools/wine-env.sh

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

  case $preset in win64|win32) arch=$preset ;; *) arch= ;; esac
  road=
  if [ -n "$arch" ]; then
    echo "=== Wine session: $arch"
    session_start=$SECONDS
    if ! vekt_wine_session_start "$arch" "$root/build/$preset/wineprefix"; then
      vekt_wine_session_stop
      summary+=("$preset: Wine session did not start")
      status=1
      total_failed=$((total_failed + 1))
      continue
    fi
    echo "Wine session ready on display $DISPLAY after $((SECONDS - session_start)) s"
    if [ "$arch" = win32 ]; then
      road=$(vekt_wine32_road_said)
      echo "$road"
      if vekt_wine32_emulated && [ -s "build/$preset/wine32-skipped.txt" ]; then
        echo "Wine tests this road skips:"
        sed 's/^/  /' "build/$preset/wine32-skipped.txt"
      fi
    fi
  fi
  echo "=== ctest: $preset"
  out=$(mktemp)
  ctest_start=$SECONDS
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  ctest_time=$((SECONDS - ctest_start))
  [ -n "$arch" ] && vekt_wine_session_stop
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1)
  # ctest counts a skipped test among those that did not fail.
  skipped=$(grep -c -E '\*\*\*Skipped' "$out")
  rm -f "$out"
  if [ -n "$line" ]; then
    failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    all=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    total_passed=$((total_passed + all - failed - skipped))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    summary+=("$preset: $line (${ctest_time} s)${road:+; $road}")
  else
    summary+=("$preset: no tests ran")
    [ $rc -ne 0 ] && total_failed=$((total_failed + 1))
  fi
  [ $rc -ne 0 ] && status=1
done

echo "=== summary"
for s in "${summary[@]}"; do echo "$s"; done
[ $status -ne 0 ] && [ $total_failed -eq 0 ] && total_failed=1
echo "wall time: $((SECONDS / 60)) min $((SECONDS % 60)) s"
echo "total: $total_passed passed, $total_failed failed, $total_skipped skipped"
exit $status
