# shellcheck shell=bash
# Driving PMSetup.exe's windows under Wine and Xvfb as a person would, on the
# Windows demo of build-win64/demo or build-win32/demo. Sourced by
# scripts/screenshots-windows, scripts/demo-windows and the roads of
# e2e/windows/.
#
# Wine draws no frame without a window manager: each of its X windows is the
# client area of a Windows window, so a form is found by its size in pixels,
# and a control is pressed at its place, both given in twips and scaled by
# $dpi (15 twips a pixel at 96 DPI).

# Wine's own tools (wineboot, reg, winepath) are those of the 64-bit Wine,
# whose prefixes hold both widths; the programs under test are started by the
# loader of their width (wine_width).
wine=/usr/lib/wine/wine64
# shellcheck source=scripts/wine-prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
# No Mono or Gecko installers, and no menu entries on the host's desktop for
# the program group the install makes.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
dpi=96
xvfb_pid=""
setup_pid=""

# Chooses the width of the programs under test: sets loader (the Wine loader
# that starts them), sysdir (the system folder they see: a 32-bit program on
# 64-bit Windows gets C:\windows\syswow64) and odbc_driver (the host's SQLite
# ODBC driver of that width: Wine's odbc32 hands each call to the host's
# unixODBC of the same width, never the other's). A width this machine cannot
# run returns 77 with the reason on standard error.
wine_width() {  # wine_width win64|win32
  local multiarch
  case "$1" in
    win64) loader=/usr/lib/wine/wine64 sysdir=system32 multiarch=x86_64-linux-gnu ;;
    win32) loader=/usr/lib/wine/wine sysdir=syswow64 multiarch=i386-linux-gnu ;;
    *) echo "unknown width $1 (win64 or win32)" >&2; return 2 ;;
  esac
  "$(dirname "${BASH_SOURCE[0]}")/wine-run" "$1" --check || return $?
  odbc_driver="/usr/lib/$multiarch/odbc/libsqlite3odbc.so"
  if [ ! -f "$odbc_driver" ]; then
    echo "SKIPPED: the SQLite ODBC driver of this width is not installed ($odbc_driver;" \
      "scripts/build-windows installs it)" >&2
    return 77
  fi
}
wine_width win64

# Empties a road's WORK_DIR (made if missing) and prints its absolute path.
fresh_work() {  # fresh_work WORK_DIR
  rm -rf "$1" && mkdir -p "$1" && (cd "$1" && pwd)
}

# A display of our own: Xvfb picks a free number and tells it on fd 3. Sets
# DISPLAY and xvfb_pid.
start_display() {  # start_display WORK_DIR
  Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$1/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
  [ -s "$1/display" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(cat "$1/display")"
}

# DIR/prefix, a fresh Wine prefix (WINEPREFIX), with the demo's earlier
# installation when asked (its files, its library in the system folder of the
# chosen width, and AppPath); DIR/setup, a copy of the demo installer folder;
# DIR/odbc.ini (ODBCINI): Wine's odbc32 hands Dorvane to the host's driver
# manager, so it names the prefix's database and the SQLite driver of the
# chosen width.
demo_machine() {  # demo_machine DIR DEMO_DIR [earlier]
  local dir="$1" demo="$2"
  export WINEPREFIX="$dir/prefix"
  rm -rf "$WINEPREFIX" "$dir/setup"
  new_prefix "$WINEPREFIX" || return 1
  if [ "${3:-}" = earlier ]; then
    mkdir -p "$WINEPREFIX/drive_c/Program Files"
    cp -a "$demo/earlier/Program Files/Pelmora" "$WINEPREFIX/drive_c/Program Files/"
    cp -p "$demo/earlier/windows/system32/plmcal32.dll" "$WINEPREFIX/drive_c/windows/$sysdir/"
    "$wine" reg add 'HKCU\Software\Korrimel Software\Pelmora' /v AppPath \
      /d 'C:\Program Files\Pelmora' /f >/dev/null
  fi
  cp -a "$demo/setup" "$dir/setup"
  printf '[Dorvane]\nDriver = %s\nDatabase = %s\nNoCreat = 1\n' "$odbc_driver" \
    "$WINEPREFIX/drive_c/Program Files/Pelmora/Dorvane.mdb" >"$dir/odbc.ini"
  export ODBCINI="$dir/odbc.ini"
}

# Starts the installer of DIR/setup; sets setup_pid.
start_setup() {  # start_setup DIR
  "$loader" "$1/setup/PMSetup.exe" >"$1/installer.log" 2>&1 &
  setup_pid=$!
}

# The installer's shown window of that size in pixels, once it is there.
find_window() {  # find_window WIDTH HEIGHT [TIMEOUT_SECONDS]
  local deadline=$((SECONDS + ${3:-60})) id
  while [ $SECONDS -lt $deadline ]; do
    for id in $(xdotool search --onlyvisible --classname '^pmsetup\.exe$' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
      if [ "$WIDTH" = "$1" ] && [ "$HEIGHT" = "$2" ]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.2
  done
  echo "no window of ${1}x${2} appeared within ${3:-60} s" >&2
  return 1
}

size() { awk -v t="$1" -v d="$dpi" 'BEGIN { printf "%d", t * d / 1440 + 0.5 }'; }  # twips -> pixels

press() {  # press WINDOW LEFT TOP WIDTH HEIGHT   (the control's place, twips)
  xdotool mousemove --window "$1" "$(size $(($2 + $4 / 2)))" "$(size $(($3 + $5 / 2)))" click 1
}

# A check box is pressed at its box, at its left end.
press_box() {  # press_box WINDOW LEFT TOP HEIGHT   (twips)
  xdotool mousemove --window "$1" $(($(size "$2") + $(size 105))) "$(size $(($3 + $4 / 2)))" click 1
}

type_text() {  # type_text TEXT: replaces the text of the control that has the focus
  xdotool key ctrl+a type --delay 30 "$1"
}

gone() {  # gone PATH TIMEOUT_SECONDS: waits until PATH has disappeared
  local deadline=$((SECONDS + $2))
  while [ -e "$1" ]; do
    [ $SECONDS -lt $deadline ] || { echo "$1 is still there after $2 s" >&2; return 1; }
    sleep 0.2
  done
}

# Waits for the installer to end; sets setup_rc to its exit code (124: it
# was still running after TIMEOUT_SECONDS).
setup_exit() {  # setup_exit TIMEOUT_SECONDS
  local deadline=$((SECONDS + $1))
  setup_rc=0
  local state
  while :; do
    # A process that has ended but not yet been waited for is a zombie (Z).
    state=$(awk '/^State:/ { print $2 }' "/proc/$setup_pid/status" 2>/dev/null || true)
    if [ -z "$state" ] || [ "$state" = Z ]; then break; fi
    [ $SECONDS -lt $deadline ] || { setup_rc=124; return; }
    sleep 0.2
  done
  wait "$setup_pid" || setup_rc=$?
  setup_pid=""
}

# Wine's Program Manager, like Windows' shell, opens a window on the program
# group for every group the install makes, over the installer's window; they
# are moved off the screen once they have stopped coming (none for 2 s, at
# most TIMEOUT_SECONDS).
move_group_windows_away() {  # move_group_windows_away TIMEOUT_SECONDS
  local deadline=$((SECONDS + $1)) quiet=$((SECONDS + 2)) seen=0 id
  while [ $SECONDS -lt $deadline ] && { [ $seen = 0 ] || [ $SECONDS -lt $quiet ]; }; do
    for id in $(xdotool search --onlyvisible --classname '^explorer\.exe$' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
      if [ "$WIDTH" -gt 1 ] && [ "$X" -lt 2560 ]; then
        xdotool windowmove "$id" 2560 0
        seen=1
        quiet=$((SECONDS + 2))
      fi
    done
    sleep 0.2
  done
}

stop_wine() {  # ends the installer, the prefix's processes and the display
  [ -n "$setup_pid" ] && kill "$setup_pid" 2>/dev/null
  [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  setup_pid=""
  return 0
}
