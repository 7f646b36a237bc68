# Sourced by every script that runs Windows programs: the one place that sets
# the Wine environment, for the PE32+ build (wine64) and for the shipped PE32
# build (32-bit Wine run by qemu's user-mode emulator, see wine32-loader.sh).
#   vekt_wine_env ARCH PREFIX     ARCH is win64 or win32; exports WINEPREFIX, WINEARCH,
#                                 WINELOADER (the wine command), WINESERVER, WINEDEBUG
#                                 and WINEDLLOVERRIDES
#   vekt_wine_prefix_ready        makes the prefix on first use, one caller at a time,
#                                 and returns once it is ready
#   vekt_wine_session_start ARCH PREFIX
#                                 a fresh prefix, an Xvfb display of its own and a Wine
#                                 server kept up, with the session's services started
#   vekt_wine_session_stop
#   vekt_wine_end_strays          ends this prefix's Wine programs left without a server

vekt_tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

vekt_wine_env() {
  export WINEPREFIX=$2 WINEARCH=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The native server serves 32-bit clients too: no server under emulation.
  export WINESERVER=/usr/lib/wine/wineserver64
  case $1 in
    win64) export WINELOADER=/usr/lib/wine/wine64 ;;
    win32) export WINELOADER=$WINEPREFIX-loader/lib/wine/wine ;;
    *) echo "unknown Wine architecture: $1" >&2; return 1 ;;
  esac
}

# The folder wine32-loader.sh runs from: Wine takes its binary, data and library
# folders from where the preloader is, so these sit beside the copied preloader.
vekt_wine32_loader_folder() {
  local dir=$WINEPREFIX-loader
  [ -x "$dir/lib/wine/wine" ] && [ -f "$dir/lib/wine/wine-preloader" ] && return 0
  local tmp=$dir.tmp.$$
  rm -rf "$tmp"
  mkdir -p "$tmp/lib/wine" "$tmp/share" || return 1
  cp "$(readlink -f /usr/lib/wine/wine-preloader)" "$tmp/lib/wine/wine-preloader" || return 1
  ln -s "$vekt_tools_dir/wine32-loader.sh" "$tmp/lib/wine/wine"
  ln -s /usr/lib/wine/wineserver64 "$tmp/lib/wine/wineserver"
  ln -s /usr/lib/i386-linux-gnu "$tmp/lib/i386-linux-gnu"
  ln -s /usr/share/wine "$tmp/share/wine"
  rm -rf "$dir"
  mv "$tmp" "$dir"
}

# Ends what is left of this prefix's Wine programs after its server crashed or
# was killed: they would otherwise wait forever on a server that is gone.
vekt_wine_end_strays() {
  local proc exe
  for proc in /proc/[0-9]*; do
    exe=$(readlink "$proc/exe" 2>/dev/null) || continue
    case $exe in
      */qemu-i386* | */wine64-preloader | */wine-preloader | */wine64 | */wine) ;;
      *) continue ;;
    esac
    tr '\0' '\n' <"$proc/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && kill -9 "${proc#/proc/}" 2>/dev/null
  done
  return 0
}

vekt_wine_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ "$WINEARCH" = win32 ]; then
      vekt_wine32_loader_folder || { echo "cannot make the 32-bit Wine loader folder" >&2; exit 1; }
    fi
    [ -f "$WINEPREFIX/.vekt-ready" ] && exit 0
    # Under emulation, prefix creation prints "qemu: uncaught target signal 11"
    # for Wine's own services.exe, winedevice.exe and explorer.exe as the server
    # ends them when the boot is over; the prefix is complete all the same.
    # Rarely those helpers deadlock during the boot instead: then the boot is
    # bounded in time, everything is ended and the prefix is made once more.
    local attempt
    for attempt in 1 2; do
      # Wine's programs must not inherit the lock (fd 9): one left running
      # after a failed boot would hold it and every later caller would wait.
      timeout 300 "$WINELOADER" wineboot -i >"$WINEPREFIX.boot.log" 2>&1 </dev/null 9>&-
      timeout 180 "$WINESERVER" -w 9>&- || "$WINESERVER" -k 9>&-
      if [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ]; then
        touch "$WINEPREFIX/.vekt-ready"
        exit 0
      fi
      echo "Wine prefix $WINEPREFIX was not created (attempt $attempt):" >&2
      tail -n 20 "$WINEPREFIX.boot.log" >&2
      "$WINESERVER" -k >/dev/null 2>&1 9>&-
      vekt_wine_end_strays
      rm -rf "$WINEPREFIX"
    done
    exit 1
  ) 9>"$WINEPREFIX.lock"
}

vekt_wine_session_start() {
  vekt_wine_env "$1" "$2" || return 1
  "$WINESERVER" -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock" "$WINEPREFIX-loader"
  # Xvfb picks a free display and writes its number once it accepts clients.
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  vekt_xvfb_pid=$!
  local tries=0
  until [ -s "$number_file" ] || [ $tries -ge 100 ]; do sleep 0.1; tries=$((tries + 1)); done
  export DISPLAY=:$(head -n 1 "$number_file")
  rm -f "$number_file"
  [ "$DISPLAY" != ":" ] || { echo "Xvfb did not start" >&2; return 1; }
  vekt_wine_prefix_ready || return 1
  # The first program of a session starts Wine's services; under emulation that
  # takes a while, so it happens here rather than inside the first test's time.
  # Under emulation the session's start-up now and then deadlocks: it is then
  # ended and started again.
  local attempt
  for attempt in 1 2 3; do
    "$WINESERVER" -p
    timeout 150 "$WINELOADER" cmd /c exit >"$WINEPREFIX.warmup.log" 2>&1 </dev/null && return 0
    echo "Wine session start-up did not finish (attempt $attempt); starting it again" >&2
    "$WINESERVER" -k >/dev/null 2>&1
    vekt_wine_end_strays
    sleep 1
  done
  return 1
}

vekt_wine_session_stop() {
  "$WINESERVER" -k >/dev/null 2>&1
  vekt_wine_end_strays
  [ -n "${vekt_xvfb_pid:-}" ] && kill "$vekt_xvfb_pid" >/dev/null 2>&1
  unset DISPLAY vekt_xvfb_pid
  return 0
}
