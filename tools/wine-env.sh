# Sourced by every script that runs Windows programs: the one place that sets
# the Wine environment, for the PE32+ build (wine64) and for the shipped PE32
# build (32-bit Wine). 32-bit Wine takes one of two roads, chosen at run time:
# "native", Wine's own i386 loader, where the kernel runs i386 code; or
# "emulated", the same loader run by qemu's user-mode emulator (wine32-loader.sh),
# where it does not. VEKT_WINE32_ROAD=native or emulated forces one.
#   vekt_wine32_road              prints the road 32-bit Wine takes here
#   vekt_wine32_road_said         the same as a sentence, for the logs
#   vekt_emulated_skip REASON     true, saying so, where a test skipped for REASON on
#                                 the emulated road is to be skipped now
#   vekt_wine_env ARCH PREFIX     ARCH is win64 or win32; exports WINEPREFIX, WINEARCH,
#                                 WINELOADER (the wine command), WINESERVER, WINEDEBUG,
#                                 WINEDLLOVERRIDES and, for win32, VEKT_WINE32_ROAD
#   vekt_wine_prefix_ready        makes the prefix on first use (fonts included), one
#                                 caller at a time, and returns once it is ready
#   vekt_wine_session_start ARCH PREFIX
#                                 a fresh prefix, an Xvfb display of its own and a Wine
#                                 server kept up, with the session's services started
#   vekt_wine_session_stop
#   vekt_wine_end_strays          ends this prefix's Wine programs left without a server

vekt_tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

vekt_wine32_road() {
  case ${VEKT_WINE32_ROAD:-} in
    native | emulated) echo "$VEKT_WINE32_ROAD" ;;
    "")
      # The i386 preloader prints its usage where the kernel runs i386 code;
      # elsewhere the kernel cannot execute it at all.
      if /usr/lib/wine/wine-preloader 2>&1 | grep -q '^Usage:'; then echo native; else echo emulated; fi
      ;;
    *)
      echo "VEKT_WINE32_ROAD is '$VEKT_WINE32_ROAD': it takes native or emulated" >&2
      return 1
      ;;
  esac
}

vekt_wine32_road_said() {
  case $(vekt_wine32_road) in
    native) echo "32-bit Wine road: native (Wine's own i386 loader; the kernel runs i386 code)" ;;
    emulated) echo "32-bit Wine road: emulated (Wine's i386 loader under qemu-i386-static)" ;;
  esac
}

vekt_wine_env() {
  export WINEPREFIX=$2 WINEARCH=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The 64-bit server serves 32-bit clients too: no server under emulation.
  export WINESERVER=/usr/lib/wine/wineserver64
  case $1 in
    win64) export WINELOADER=/usr/lib/wine/wine64 ;;
    win32)
      VEKT_WINE32_ROAD=$(vekt_wine32_road) || return 1
      export VEKT_WINE32_ROAD
      case $VEKT_WINE32_ROAD in
        native) export WINELOADER=/usr/lib/wine/wine ;;
        emulated) export WINELOADER=$WINEPREFIX-loader/lib/wine/wine ;;
      esac
      ;;
    *) echo "unknown Wine architecture: $1" >&2; return 1 ;;
  esac
}

vekt_wine32_emulated() { [ "$WINEARCH" = win32 ] && [ "$VEKT_WINE32_ROAD" = emulated ]; }

# True, with the reason said, where a test that names an emulation fault is to
# be skipped: on the emulated road only. ctest counts exit code 77 as skipped.
vekt_wine_skip_code=77
vekt_emulated_skip() {
  [ -n "$1" ] && [ "$(vekt_wine32_road)" = emulated ] || return 1
  echo "skipped on the emulated 32-bit road: $1"
}

# The folder wine32-loader.sh runs from: Wine takes its binary, data and library
# folders from where the preloader is, so these sit beside the copied preloader.
# To start a child, Wine executes "wine-preloader" beside the running one and
# falls back to the "wine" there (this script) when that fails; the copy has
# another name so that it fails on a kernel that runs i386 code too, and every
# child is emulated like its parent.
vekt_wine32_loader_folder() {
  local dir=$WINEPREFIX-loader
  [ -x "$dir/lib/wine/wine" ] && [ -f "$dir/lib/wine/wine-preloader-emulated" ] && return 0
  local tmp=$dir.tmp.$$
  rm -rf "$tmp"
  mkdir -p "$tmp/lib/wine" "$tmp/share" || return 1
  cp "$(readlink -f /usr/lib/wine/wine-preloader)" "$tmp/lib/wine/wine-preloader-emulated" || return 1
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

# REG_MULTI_SZ data of one string, as a .reg file's hex(7) list.
vekt_reg_multi_sz() {
  printf '%s\0\0' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',,' | sed 's/^,//; s/,$//'
}

# The prefix's fonts, set once here for every program of the prefix: the skin's
# font name "微软雅黑" drawn with the installed CJK font, and that font linked
# to the system's dialog fonts so that message boxes draw CJK text.
vekt_wine_prefix_fonts() {
  local reg=$WINEPREFIX.fonts.reg link face
  link=$(vekt_reg_multi_sz "wqy-microhei.ttc,WenQuanYi Micro Hei")
  {
    printf 'Windows Registry Editor Version 5.00\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n'
    printf '"微软雅黑"="WenQuanYi Micro Hei"\n\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
    for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI"; do
      printf '"%s"=hex(7):%s\n' "$face" "$link"
    done
  } | sed 's/$/\r/' | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg" || return 1
  # A UTF-16 file reads the same whatever the locale Wine runs in; its Unix path
  # is on drive Z:, written with backslashes so regedit takes it for no switch.
  timeout 120 "$WINELOADER" regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 9>&-
}

vekt_wine_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if vekt_wine32_emulated; then
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
      # While the boot's server is still up: no second start of its services.
      vekt_wine_prefix_fonts
      # The server writes the registry files as it ends.
      timeout 180 "$WINESERVER" -w 9>&- || "$WINESERVER" -k 9>&-
      if [ -d "$WINEPREFIX/drive_c/windows/system32" ] &&
         grep -q '="WenQuanYi Micro Hei"' "$WINEPREFIX/user.reg" 2>/dev/null &&
         grep -qF '"wqy-microhei.ttc,WenQuanYi Micro Hei' "$WINEPREFIX/system.reg" 2>/dev/null; then
        touch "$WINEPREFIX/.vekt-ready"
        exit 0
      fi
      echo "Wine prefix $WINEPREFIX was not created with its fonts (attempt $attempt):" >&2
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
    timeout 90 "$WINELOADER" cmd /c exit >"$WINEPREFIX.warmup.log" 2>&1 </dev/null && return 0
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
